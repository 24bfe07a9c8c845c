add_executable(gif_codec_bench ${CMAKE_CURRENT_SOURCE_DIR}/gif_codec_bench.cpp)
target_link_libraries(gif_codec_bench PRIVATE imaging_io benchmark::benchmark)
target_compile_definitions(gif_codec_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data/gif_codec")
tw_strict_warnings(gif_codec_bench)
