# Starting programs and documents, and watching the started processes.
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0 gio-unix-2.0)
find_package(Threads REQUIRED)
add_library(vornask_platform_process STATIC
    ${CMAKE_CURRENT_LIST_DIR}/shell_words.cpp
    ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp
    ${CMAKE_CURRENT_LIST_DIR}/process_start.cpp
    ${CMAKE_CURRENT_LIST_DIR}/document_open.cpp)
target_link_libraries(vornask_platform_process PUBLIC vornask_base PRIVATE PkgConfig::GIO Threads::Threads)
target_link_libraries(vornask_platform INTERFACE vornask_platform_process)
