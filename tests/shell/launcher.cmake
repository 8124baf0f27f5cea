add_executable(launcher_tests ${CMAKE_CURRENT_LIST_DIR}/launcher_test.cpp)
target_include_directories(launcher_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/platform)
target_link_libraries(launcher_tests PRIVATE vornask_shell_launcher Qt6::Core GTest::gtest)
gtest_discover_tests(launcher_tests PROPERTIES LABELS launcher)
