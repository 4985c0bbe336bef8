// Linked into the programs that attach through the Firebird client. The client's
// remote calls leave dynamic thread-local blocks that the leak checker, scanning
// them at exit, sometimes cannot read and crashes on (seen under ctest). Leaving
// thread-local storage out of the scan keeps every heap leak reported: it can only
// add reports, never hide one.
extern "C" const char* __lsan_default_options();
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
