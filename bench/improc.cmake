add_executable(improc_bench ${CMAKE_CURRENT_SOURCE_DIR}/improc_bench.cpp)
target_link_libraries(improc_bench PRIVATE imaging_core benchmark::benchmark)
target_compile_definitions(improc_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
tw_strict_warnings(improc_bench)
