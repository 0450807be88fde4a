// The out-of-memory test asks for more memory than exists; under AddressSanitizer that must
// come back as a null pointer, as it does from the C library, instead of stopping the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
