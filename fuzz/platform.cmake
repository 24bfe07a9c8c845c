tw_fuzz_target(riff_walker platform)
