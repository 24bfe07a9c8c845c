# The interface library's picture data: a bitmap's stream form (plain or
# run-length coded) and the PNG picture's streams (PNG or BMP).
tw_fuzz_target(lf_picture_stream navbar)
