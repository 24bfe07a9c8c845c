# Readers of outside bytes in the application: project files (config.ini,
# default.ini, examples, the user's projects), template declarations and
# the formatted text of stages; WAVE files the AVI writer adds.
tw_fuzz_target(project_file app)
tw_fuzz_target(avi_wave app)
tw_fuzz_target(template_params app)
tw_fuzz_target(stage_params app)
