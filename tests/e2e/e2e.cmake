# The real program under Xvfb, a tray host on a private session bus and a real Dovecot on
# 127.0.0.1:110. Not run in the sanitizer build: the point is the program as shipped.
if(TARGET vornask)
    add_test(NAME e2e.whole_program
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/e2e_test.py
                     $<TARGET_FILE:vornask>
                     ${CMAKE_SOURCE_DIR}/tests/support/dovecot-instance.sh
                     ${CMAKE_BINARY_DIR}/artifacts/e2e)
    set_tests_properties(e2e.whole_program PROPERTIES
        SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS "e2e;no-sanitizer" RESOURCE_LOCK pop3_port_110)
endif()
