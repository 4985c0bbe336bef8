// Linked into every test program that loads the real Firebird client: the client and
// the embedded engine (with ICU) keep process-wide caches until exit by design, which
// LeakSanitizer would report as leaks of ours.

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfbclient.so\n"
           "leak:libEngine12.so\n"
           "leak:libicuuc.so\n"
           "leak:libicui18n.so\n";
}
