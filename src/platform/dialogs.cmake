# Layout pieces shared by the dialogs.
add_library(vornask_platform_dialogs STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dialog_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_layout.h
    ${CMAKE_CURRENT_LIST_DIR}/message_box.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_box.h)
target_link_libraries(vornask_platform_dialogs PUBLIC vornask_base Qt6::Widgets)
target_link_libraries(vornask_platform INTERFACE vornask_platform_dialogs)
