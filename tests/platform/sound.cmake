# Run twice: once with ALSA's default device recording into a file, once with no device.
add_executable(sound_tests ${CMAKE_CURRENT_LIST_DIR}/sound_test.cpp)
target_include_directories(sound_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(sound_tests PRIVATE vornask_platform_sound GTest::gtest)
add_test(NAME sound_file_sink COMMAND sound_tests)
add_test(NAME sound_no_device COMMAND sound_tests)
set_tests_properties(sound_file_sink PROPERTIES ENVIRONMENT VORNASK_SOUND_DEVICE=file LABELS sound)
set_tests_properties(sound_no_device PROPERTIES ENVIRONMENT VORNASK_SOUND_DEVICE=none LABELS sound)
