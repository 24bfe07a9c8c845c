add_executable(capture_bench capture_bench.cpp)
tw_strict_warnings(capture_bench)
target_link_libraries(capture_bench PRIVATE app benchmark::benchmark)
