add_executable(imaging_io_bench ${CMAKE_CURRENT_SOURCE_DIR}/imaging_io_bench.cpp)
target_link_libraries(imaging_io_bench PRIVATE imaging_io benchmark::benchmark)
target_compile_definitions(imaging_io_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
tw_strict_warnings(imaging_io_bench)
