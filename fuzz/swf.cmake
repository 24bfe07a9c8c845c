tw_fuzz_target(swf_file swf)
tw_fuzz_target(action_list swf)
tw_fuzz_target(swf_xml swf)
tw_fuzz_target(abc_block swf)
# It reads and writes tag bodies as the SWF tests do.
target_include_directories(action_list PRIVATE ${CMAKE_SOURCE_DIR}/swf/tests)
target_compile_definitions(action_list PRIVATE TW_SHARED_DIR="${TW_SHARED_DIR}")
