# The help viewer and its pages. The pages are copied next to the program at build time and
# installed to the data folder; the viewer looks in both places.
add_library(vornask_platform_help STATIC ${CMAKE_CURRENT_LIST_DIR}/help_viewer.cpp)
target_link_libraries(vornask_platform_help PUBLIC Qt6::Widgets vornask_base)
target_compile_definitions(vornask_platform_help PRIVATE VORNASK_HELP_DIR="${VORNASK_DATA_DIR}/help")
target_link_libraries(vornask_platform INTERFACE vornask_platform_help)

set(VORNASK_HELP_SOURCE ${PROJECT_SOURCE_DIR}/help)
file(GLOB vornask_help_files CONFIGURE_DEPENDS ${VORNASK_HELP_SOURCE}/*)
set(vornask_help_stamp ${CMAKE_BINARY_DIR}/bin/help/.copied)
add_custom_command(OUTPUT ${vornask_help_stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/help
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${vornask_help_files} ${CMAKE_BINARY_DIR}/bin/help/
    COMMAND ${CMAKE_COMMAND} -E touch ${vornask_help_stamp}
    DEPENDS ${vornask_help_files}
    COMMENT "Copying the help pages next to the program")
add_custom_target(vornask_help_pages ALL DEPENDS ${vornask_help_stamp})
add_dependencies(vornask_platform_help vornask_help_pages)
install(DIRECTORY ${VORNASK_HELP_SOURCE}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vornask/help)
