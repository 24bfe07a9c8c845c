# The GIF reader (and the writer on whatever it read).
tw_fuzz_target(gif_reader_fuzz pictures)
# The PNG picture classes' reader (and the writer on whatever it read).
tw_fuzz_target(png_object pictures)
