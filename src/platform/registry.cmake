# The per-user hive in place of the registry: its text form, its file, and the accessor.
add_library(vornask_platform_registry STATIC
    ${CMAKE_CURRENT_LIST_DIR}/registry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_hive.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hive_parser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hive_writer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hive_file.cpp)
target_link_libraries(vornask_platform_registry PUBLIC vornask_base)
target_link_libraries(vornask_platform INTERFACE vornask_platform_registry)
