# TRegExpr beside PCRE2's interpreter (no JIT) on a few MB of text.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
add_executable(regex_bench regex_bench.cpp)
target_link_libraries(regex_bench PRIVATE controls PkgConfig::PCRE2 benchmark::benchmark)
