add_executable(vidurer_io_bench ${CMAKE_CURRENT_SOURCE_DIR}/vidurer_io_bench.cpp)
target_link_libraries(vidurer_io_bench PRIVATE imaging_io benchmark::benchmark)
target_compile_definitions(vidurer_io_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data/vidurer_io")
tw_strict_warnings(vidurer_io_bench)
