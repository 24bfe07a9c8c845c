# Painting the look-and-feel scroll bar in each painter's look, beside Qt's
# own style painting a scroll bar of the same size.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(navbar_bench ${CMAKE_CURRENT_SOURCE_DIR}/navbar_bench.cpp)
tw_strict_warnings(navbar_bench)
target_link_libraries(navbar_bench PRIVATE navbar Qt6::Widgets benchmark::benchmark)
