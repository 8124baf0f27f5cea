# Built into the program's folder so that it finds the help pages as the program does.
add_executable(help_tests ${CMAKE_CURRENT_LIST_DIR}/help_test.cpp)
target_include_directories(help_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(help_tests PRIVATE vornask_platform_help Qt6::Widgets GTest::gtest)
set_target_properties(help_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
gtest_discover_tests(help_tests PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
