add_executable(pictures_bench ${CMAKE_CURRENT_SOURCE_DIR}/pictures_bench.cpp)
target_link_libraries(pictures_bench PRIVATE pictures benchmark::benchmark)
target_compile_definitions(pictures_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data/pictures")
