add_executable(process_tests ${CMAKE_CURRENT_LIST_DIR}/process_test.cpp)
target_include_directories(process_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(process_tests PRIVATE vornask_platform_process GTest::gtest)
gtest_discover_tests(process_tests)
