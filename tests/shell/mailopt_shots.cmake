# Shows a dialog with sample content for scripts/screenshots.sh.
add_executable(dialog_shots ${CMAKE_CURRENT_LIST_DIR}/mailopt_shots.cpp)
target_link_libraries(dialog_shots PRIVATE vornask_shell_mailopt vornask_filter_editor)
