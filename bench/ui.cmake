# Start-up of the program to its main window's first paint (offscreen),
# beside a bare Qt program that shows an empty widget.
if(TARGET tamblewick)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(bare_qt_window bare_qt_window.cpp)
  target_link_libraries(bare_qt_window PRIVATE Qt6::Widgets)
  add_executable(ui_bench ui_bench.cpp)
  tw_strict_warnings(ui_bench)
  target_link_libraries(ui_bench PRIVATE benchmark::benchmark)
  target_compile_definitions(ui_bench PRIVATE TW_PROGRAM="$<TARGET_FILE:tamblewick>"
                                              TW_BARE_QT_PROGRAM="$<TARGET_FILE:bare_qt_window>")
  add_dependencies(ui_bench tamblewick bare_qt_window)
endif()
