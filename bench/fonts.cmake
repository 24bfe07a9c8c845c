# Embedding installed fonts: glyph outlines of a long text into DefineFont2,
# beside FreeType's own loading of the same outlines.
add_executable(fonts_bench ${CMAKE_CURRENT_SOURCE_DIR}/fonts_bench.cpp)
target_link_libraries(fonts_bench PRIVATE movie benchmark::benchmark)
tw_strict_warnings(fonts_bench)
