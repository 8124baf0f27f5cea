add_executable(shell_mailopt_tests ${CMAKE_CURRENT_LIST_DIR}/mailopt_test.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/mailopt_ui.h)
target_link_libraries(shell_mailopt_tests PRIVATE vornask_shell_mailopt Qt6::Test)
add_test(NAME shell_mailopt_tests COMMAND shell_mailopt_tests)
set_tests_properties(shell_mailopt_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(shell_connection_page_tests ${CMAKE_CURRENT_LIST_DIR}/connection_page_test.cpp
                                           ${CMAKE_CURRENT_LIST_DIR}/mailopt_ui.h)
target_link_libraries(shell_connection_page_tests PRIVATE
    vornask_shell_mailopt vornask_testsupport Qt6::Test)
add_test(NAME shell_connection_page_tests COMMAND shell_connection_page_tests)
set_tests_properties(shell_connection_page_tests PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "dovecot")
