tw_fuzz_target(regexpr_fuzz controls)
