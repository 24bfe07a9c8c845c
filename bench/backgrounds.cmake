# The shipped background effects run under the whole movie; what each costs
# the player per frame beside the same movie without it.
if(TARGET content)
  add_executable(backgrounds_bench backgrounds_bench.cpp)
  tw_strict_warnings(backgrounds_bench)
  target_link_libraries(backgrounds_bench PRIVATE app benchmark::benchmark)
  target_compile_definitions(backgrounds_bench PRIVATE TW_PROGRAM_DIR="${CMAKE_BINARY_DIR}/app")
  add_dependencies(backgrounds_bench content)
endif()
