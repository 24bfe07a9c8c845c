add_executable(png_bench ${CMAKE_CURRENT_SOURCE_DIR}/png_bench.cpp)
target_link_libraries(png_bench PRIVATE imaging_io benchmark::benchmark)
target_compile_definitions(png_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
tw_strict_warnings(png_bench)
