# Readers of outside bytes in the image library's extras.
tw_fuzz_target(video_file imaging_extra)
