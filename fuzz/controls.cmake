# Readers of outside bytes in the text base: text files by their marks,
# language and project ini files, UTF-7, UTF-8 and code-page text, and the
# settings store.
tw_fuzz_target(controls_text controls)
