# Readers of outside bytes in the application: project files (config.ini,
# default.ini, examples, the user's projects), template declarations and
# the formatted text of stages.
tw_fuzz_target(project_file app)
