# Filter rules and their matching: pure functions of their arguments, shared by the kill pass
# and the kill list editor.
add_library(vornask_filter_rules STATIC
    ${CMAKE_CURRENT_LIST_DIR}/filter_rule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/match.cpp)
target_link_libraries(vornask_filter_rules PUBLIC vornask_base)
target_link_libraries(vornask_filter_all INTERFACE vornask_filter_rules)

# The stored kill list, and the pass that applies it to the mailbox with its deletion log.
add_library(vornask_filter STATIC
    ${CMAKE_CURRENT_LIST_DIR}/killlist_store.cpp
    ${CMAKE_CURRENT_LIST_DIR}/deletion_stamp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/deletion_log.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kill_pass.cpp
    ${CMAKE_CURRENT_LIST_DIR}/examined_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fast_session.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fast_pass.cpp)
target_link_libraries(vornask_filter PUBLIC vornask_filter_rules vornask_platform_registry vornask_net)
# The record of examined messages is keyed by SHA-256.
find_package(OpenSSL REQUIRED)
target_link_libraries(vornask_filter PRIVATE OpenSSL::Crypto)
target_link_libraries(vornask_filter_all INTERFACE vornask_filter)
