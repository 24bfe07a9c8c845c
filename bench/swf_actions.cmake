# Parsing action-heavy movies, beside reading the same movies with their
# action blocks kept raw: the cost of turning byte code into action objects.
add_executable(swf_actions_bench swf_actions_bench.cpp)
tw_strict_warnings(swf_actions_bench)
target_link_libraries(swf_actions_bench PRIVATE swf benchmark::benchmark)
