add_executable(net_tests
    ${CMAKE_CURRENT_LIST_DIR}/connection_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pop3_scripted_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tls_scripted_test.cpp)
target_link_libraries(net_tests PRIVATE vornask_net vornask_testsupport GTest::gtest_main)
gtest_discover_tests(net_tests)

# Against a real POP3 server that each test starts and stops itself.
add_executable(net_dovecot_tests ${CMAKE_CURRENT_LIST_DIR}/pop3_dovecot_test.cpp)
target_link_libraries(net_dovecot_tests PRIVATE vornask_net vornask_testsupport GTest::gtest_main)
gtest_discover_tests(net_dovecot_tests PROPERTIES LABELS "dovecot")

# TLS and STLS against a private Dovecot with throw-away certificates.
add_executable(net_tls_tests ${CMAKE_CURRENT_LIST_DIR}/tls_dovecot_test.cpp)
target_link_libraries(net_tls_tests PRIVATE vornask_net vornask_testsupport GTest::gtest_main)
gtest_discover_tests(net_tls_tests PROPERTIES LABELS "dovecot")
