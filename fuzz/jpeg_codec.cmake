# The image library's JPEG reader (and the writer on whatever it read).
tw_fuzz_target(jpeg_codec_fuzz imaging_io)
