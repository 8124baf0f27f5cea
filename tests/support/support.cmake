# Shared test helpers: a private Dovecot instance and a scripted POP3 peer.
add_library(vornask_testsupport STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dovecot_server.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scripted_pop3_server.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support_paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_certificates.cpp
    ${CMAKE_CURRENT_LIST_DIR}/free_port.cpp)
target_include_directories(vornask_testsupport PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_definitions(vornask_testsupport PRIVATE
    VORNASK_DOVECOT_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/dovecot-instance.sh"
    VORNASK_CERT_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/make-test-certs.sh")
find_package(Threads REQUIRED)
target_link_libraries(vornask_testsupport PUBLIC Threads::Threads)

add_executable(testsupport_tests ${CMAKE_CURRENT_LIST_DIR}/support_selftest.cpp)
target_link_libraries(testsupport_tests PRIVATE vornask_testsupport GTest::gtest_main)
gtest_discover_tests(testsupport_tests PROPERTIES LABELS "dovecot")
