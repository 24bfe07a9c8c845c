add_executable(imaging_bench ${CMAKE_CURRENT_SOURCE_DIR}/imaging_bench.cpp)
target_link_libraries(imaging_bench PRIVATE imaging_core benchmark::benchmark)
