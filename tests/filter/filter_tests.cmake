add_executable(filter_match_tests ${CMAKE_CURRENT_LIST_DIR}/match_test.cpp)
target_link_libraries(filter_match_tests PRIVATE vornask_filter_rules GTest::gtest_main)
gtest_discover_tests(filter_match_tests)

add_executable(filter_store_tests ${CMAKE_CURRENT_LIST_DIR}/killlist_store_test.cpp)
target_include_directories(filter_store_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(filter_store_tests PRIVATE vornask_filter GTest::gtest_main)
gtest_discover_tests(filter_store_tests)

add_executable(filter_log_tests ${CMAKE_CURRENT_LIST_DIR}/deletion_log_test.cpp)
target_include_directories(filter_log_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(filter_log_tests PRIVATE vornask_filter GTest::gtest_main)
gtest_discover_tests(filter_log_tests)

add_executable(filter_kill_pass_tests ${CMAKE_CURRENT_LIST_DIR}/kill_pass_test.cpp)
target_include_directories(filter_kill_pass_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(filter_kill_pass_tests PRIVATE vornask_filter vornask_testsupport GTest::gtest_main)
gtest_discover_tests(filter_kill_pass_tests PROPERTIES LABELS "dovecot")

add_executable(filter_fast_pass_tests ${CMAKE_CURRENT_LIST_DIR}/fast_pass_test.cpp)
target_include_directories(filter_fast_pass_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(filter_fast_pass_tests PRIVATE vornask_filter vornask_testsupport GTest::gtest_main)
gtest_discover_tests(filter_fast_pass_tests PROPERTIES LABELS "dovecot")
