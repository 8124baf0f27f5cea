# Shared test helpers: a private Dovecot instance and a scripted POP3 peer.
add_library(vornask_testsupport STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dovecot_server.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scripted_pop3_server.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support_paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/free_port.cpp)
target_include_directories(vornask_testsupport PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_definitions(vornask_testsupport PRIVATE
    VORNASK_DOVECOT_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/dovecot-instance.sh")
find_package(Threads REQUIRED)
target_link_libraries(vornask_testsupport PUBLIC Threads::Threads)

add_executable(testsupport_tests ${CMAKE_CURRENT_LIST_DIR}/support_selftest.cpp)
target_link_libraries(testsupport_tests PRIVATE vornask_testsupport GTest::gtest_main)
gtest_discover_tests(testsupport_tests PROPERTIES LABELS "dovecot")

# ./run demo brings the local POP3 server it needs on a machine that has only what running needs.
add_test(NAME demo_installs_its_server COMMAND bash -c
    "set -e; wanted=\" $(bash '${CMAKE_CURRENT_LIST_DIR}/../../scripts/install-deps.sh' --run-only --demo --list) \"; for p in dovecot-core dovecot-pop3d iproute2; do [[ $wanted == *\" $p \"* ]] || { echo \"missing $p\"; exit 1; }; done")
