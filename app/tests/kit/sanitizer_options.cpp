// Fontconfig keeps some of what it allocates while parsing its own
// configuration files for the life of the process; that is the library's,
// not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
