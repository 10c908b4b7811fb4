// Linked into the test programs that draw text: the font library keeps caches
// that it never frees, which the leak checker would otherwise report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
