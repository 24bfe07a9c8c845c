# Readers of outside bytes in the image library's file input/output.
tw_fuzz_target(imaging_bmp imaging_io)
tw_fuzz_target(imaging_detect imaging_io)
tw_fuzz_target(imaging_png imaging_io)
tw_fuzz_target(imaging_dib imaging_io)
tw_fuzz_target(imaging_layers imaging_io)
tw_fuzz_target(imaging_io_component imaging_io)
