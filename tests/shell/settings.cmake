add_executable(shell_settings_tests ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp)
target_include_directories(shell_settings_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(shell_settings_tests PRIVATE vornask_shell_settings GTest::gtest_main)
gtest_discover_tests(shell_settings_tests)
