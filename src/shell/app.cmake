# The application's exception handling, shared by every handler the program connects.
add_library(vornask_shell_exceptions STATIC
    ${CMAKE_CURRENT_LIST_DIR}/app_exceptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/application.cpp
    ${CMAKE_CURRENT_LIST_DIR}/application.h)
target_link_libraries(vornask_shell_exceptions PUBLIC vornask_base vornask_platform_dialogs Qt6::Widgets)
target_link_libraries(vornask_shell_all INTERFACE vornask_shell_exceptions)

# The main window with its check cycle and tray icon.
add_library(vornask_shell_app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window.h
    ${CMAKE_CURRENT_LIST_DIR}/check_cycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notify_platform.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_notify.cpp
    ${CMAKE_CURRENT_LIST_DIR}/envelope_icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/envelope_icon.h)
target_link_libraries(vornask_shell_app PUBLIC
    vornask_shell_all vornask_platform vornask_filter_all vornask_net vornask_base Qt6::Widgets)

add_executable(vornask ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(vornask PRIVATE vornask_shell_app)
set_target_properties(vornask PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
install(TARGETS vornask RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
