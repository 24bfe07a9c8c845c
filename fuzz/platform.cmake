tw_fuzz_target(riff_walker platform)
tw_fuzz_target(rtf_reader platform)
