# The TIFF codec beside libtiff, the reference in the same run (libtiff is
# linked here only, never by the library).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBTIFF REQUIRED IMPORTED_TARGET libtiff-4)
add_executable(tiff_bench ${CMAKE_CURRENT_SOURCE_DIR}/tiff_bench.cpp)
target_link_libraries(tiff_bench PRIVATE imaging_io benchmark::benchmark PkgConfig::LIBTIFF)
target_compile_definitions(tiff_bench PRIVATE TW_BENCH_DATA_DIR="${CMAKE_BINARY_DIR}/bench-data")
tw_strict_warnings(tiff_bench)
