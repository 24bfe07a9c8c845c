add_executable(ascompiler_bench ${CMAKE_CURRENT_SOURCE_DIR}/ascompiler_bench.cpp)
target_link_libraries(ascompiler_bench PRIVATE ascompiler benchmark::benchmark)
target_compile_definitions(ascompiler_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
