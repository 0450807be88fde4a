// One test asks for a workspace no machine has: under AddressSanitizer malloc must then return
// null, as it does in a plain build, instead of aborting the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
