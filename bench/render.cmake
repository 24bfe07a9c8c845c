# Drawing a large image scaled with alpha into a screen-sized target, beside cairo.
add_executable(render_bench ${CMAKE_CURRENT_SOURCE_DIR}/render_bench.cpp)
target_link_libraries(render_bench PRIVATE imaging_core benchmark::benchmark)
tw_strict_warnings(render_bench)
