add_library(vornask_shell_timer STATIC ${CMAKE_CURRENT_LIST_DIR}/check_timer.cpp)
target_link_libraries(vornask_shell_timer PUBLIC vornask_base Qt6::Core)
target_link_libraries(vornask_shell_all INTERFACE vornask_shell_timer)
