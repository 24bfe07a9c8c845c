# Readers of outside bytes in the image library's core.
tw_fuzz_target(imaging_raw imaging_core)
tw_fuzz_target(imaging_tiff_directory imaging_core)
tw_fuzz_target(imaging_annot imaging_core)
