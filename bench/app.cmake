add_executable(app_bench app_bench.cpp)
tw_strict_warnings(app_bench)
target_link_libraries(app_bench PRIVATE app benchmark::benchmark)
