# The Photoshop codec beside the TIFF codec's PackBits strips of the same
# picture, the reference in the same run (the same coding, another layout).
add_executable(psd_bench ${CMAKE_CURRENT_SOURCE_DIR}/psd_bench.cpp)
target_link_libraries(psd_bench PRIVATE imaging_io benchmark::benchmark)
tw_strict_warnings(psd_bench)
