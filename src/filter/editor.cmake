# The kill list editor dialog: its list box, item painting and bullet image.
add_library(vornask_filter_editor STATIC
    ${CMAKE_CURRENT_LIST_DIR}/kill_list_editor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kill_list_editor.h
    ${CMAKE_CURRENT_LIST_DIR}/kill_list_box.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kill_list_box.h
    ${CMAKE_CURRENT_LIST_DIR}/kill_list_delegate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kill_list_delegate.h
    ${CMAKE_CURRENT_LIST_DIR}/bullet_image.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bullet_image.h)
target_link_libraries(vornask_filter_editor PUBLIC
    vornask_filter_rules vornask_filter vornask_platform_help vornask_platform_dialogs
    vornask_shell_exceptions
    vornask_base Qt6::Widgets)
target_link_libraries(vornask_filter_all INTERFACE vornask_filter_editor)
