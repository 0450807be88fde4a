// A shared library that is no plug-in: it lacks the entry point.
extern "C" __attribute__((visibility("default"))) int NotAnEntryPoint() { return 1; }
