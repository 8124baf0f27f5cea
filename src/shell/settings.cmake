add_library(vornask_shell_settings STATIC ${CMAKE_CURRENT_LIST_DIR} / settings.cpp)
    target_link_libraries(vornask_shell_settings PUBLIC vornask_base vornask_platform_registry)
        target_link_libraries(vornask_shell_all INTERFACE vornask_shell_settings)
