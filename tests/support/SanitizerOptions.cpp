// Linked into every test program of the sanitizer build.
//
// The Firebird client and the embedded engine (with ICU) keep process-wide caches
// until exit by design, which LeakSanitizer would report as leaks of ours.
//
// The client's remote calls also leave dynamic thread-local blocks that the leak
// checker, scanning them at exit, sometimes cannot read and crashes on. Leaving
// thread-local storage out of the scan keeps every heap leak reported: it can only
// add reports, never hide one; the only such reports seen (GLib's per-thread
// cache, which Qt's offscreen platform uses, and the C library's dlerror text)
// are suppressed below.
//
// Programs that the tests start (the built morvane) read the same suppressions from
// lsan-client.supp through LSAN_OPTIONS.

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_options();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfbclient.so\n"
           "leak:libEngine12.so\n"
           "leak:libicuuc.so\n"
           "leak:libicui18n.so\n"
           "leak:libglib-2.0.so\n"
           "leak:_dlerror_run\n";
}

extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
