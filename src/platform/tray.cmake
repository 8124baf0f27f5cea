add_library(vornask_platform_tray STATIC ${CMAKE_CURRENT_LIST_DIR}/tray_icon.cpp
                                         ${CMAKE_CURRENT_LIST_DIR}/tray_icon.h)
target_link_libraries(vornask_platform_tray PUBLIC vornask_base Qt6::Widgets)
target_link_libraries(vornask_platform INTERFACE vornask_platform_tray)
