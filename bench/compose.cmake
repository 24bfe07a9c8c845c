add_executable(compose_bench compose_bench.cpp ${CMAKE_SOURCE_DIR}/app/tests/kit/template_kit.cpp)
tw_strict_warnings(compose_bench)
target_link_libraries(compose_bench PRIVATE app ascompiler benchmark::benchmark)
