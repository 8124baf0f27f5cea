# Tests of the program's main window, check cycle, tray icon and exception handling (Qt Test).
foreach(name app_exceptions app_window app_cycle app_secure_cycle)
    add_executable(${name}_tests ${CMAKE_CURRENT_LIST_DIR}/${name}_test.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/app_test_form.h)
    target_include_directories(${name}_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(${name}_tests PRIVATE vornask_shell_app vornask_testsupport Qt6::Test)
    add_test(NAME ${name}_tests COMMAND ${name}_tests)
    set_tests_properties(${name}_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                                                  TIMEOUT 300)
endforeach()
set_tests_properties(app_cycle_tests app_secure_cycle_tests PROPERTIES LABELS "dovecot")
