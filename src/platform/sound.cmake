# Wave sound playback through the desktop's sound library.
pkg_check_modules(CANBERRA REQUIRED IMPORTED_TARGET libcanberra)
add_library(vornask_platform_sound STATIC ${CMAKE_CURRENT_LIST_DIR}/wave_sound.cpp)
target_link_libraries(vornask_platform_sound PUBLIC vornask_base
    PRIVATE vornask_platform_process PkgConfig::CANBERRA Threads::Threads)
target_link_libraries(vornask_platform INTERFACE vornask_platform_sound)
