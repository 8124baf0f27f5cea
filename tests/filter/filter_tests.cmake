add_executable(filter_match_tests ${CMAKE_CURRENT_LIST_DIR}/match_test.cpp)
target_link_libraries(filter_match_tests PRIVATE vornask_filter_rules GTest::gtest_main)
gtest_discover_tests(filter_match_tests)

add_executable(filter_store_tests ${CMAKE_CURRENT_LIST_DIR}/killlist_store_test.cpp)
target_include_directories(filter_store_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(filter_store_tests PRIVATE vornask_filter GTest::gtest_main)
gtest_discover_tests(filter_store_tests)
