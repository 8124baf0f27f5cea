# The mail options dialog and its file-name boxes.
add_library(vornask_shell_mailopt STATIC
    ${CMAKE_CURRENT_LIST_DIR}/mailopt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mailopt.h
    ${CMAKE_CURRENT_LIST_DIR}/file_edit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_edit.h
    ${CMAKE_CURRENT_LIST_DIR}/file_name_word.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_name_word.h
    ${CMAKE_CURRENT_LIST_DIR}/connection_page.cpp
    ${CMAKE_CURRENT_LIST_DIR}/connection_page.h
    ${CMAKE_CURRENT_LIST_DIR}/connection_report.cpp
    ${CMAKE_CURRENT_LIST_DIR}/connection_report.h)
target_link_libraries(vornask_shell_mailopt PUBLIC
    vornask_shell_timer vornask_shell_exceptions vornask_platform_help vornask_platform_dialogs
    vornask_net vornask_base Qt6::Widgets)
target_link_libraries(vornask_shell_all INTERFACE vornask_shell_mailopt)
