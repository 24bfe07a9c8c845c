add_executable(jpeg_bench ${CMAKE_CURRENT_SOURCE_DIR}/jpeg_bench.cpp)
target_link_libraries(jpeg_bench PRIVATE imaging_io benchmark::benchmark)
target_compile_definitions(jpeg_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data/jpeg")
