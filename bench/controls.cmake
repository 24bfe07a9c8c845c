add_executable(controls_bench controls_bench.cpp)
target_link_libraries(controls_bench PRIVATE controls benchmark::benchmark)
