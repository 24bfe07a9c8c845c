add_executable(pixconv_bench ${CMAKE_CURRENT_SOURCE_DIR}/pixconv_bench.cpp)
target_link_libraries(pixconv_bench PRIVATE imaging_core benchmark::benchmark)
target_compile_definitions(pixconv_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
