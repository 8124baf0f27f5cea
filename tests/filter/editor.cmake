add_executable(filter_editor_tests ${CMAKE_CURRENT_LIST_DIR}/editor_test.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/editor_ui.h)
target_link_libraries(filter_editor_tests PRIVATE vornask_filter_editor Qt6::Test)
add_test(NAME filter_editor_tests COMMAND filter_editor_tests)
set_tests_properties(filter_editor_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
