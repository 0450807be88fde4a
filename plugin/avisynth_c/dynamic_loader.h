// The few calls of the dynamic loader that the run-time look-up of the host's functions needs.
// On Linux they are declared here as its C libraries export them, so that the plug-in includes
// no system header beyond the freestanding ones; only the fields read here are declared of the
// loader's records. Every other POSIX system brings its own declarations: the flags differ
// (RTLD_NOLOAD is 0x10 on macOS, 0x2000 on FreeBSD), and macOS lists its libraries through dyld
// rather than dl_iterate_phdr.
#pragma once

#include "core/portability.h"

#if defined(__linux__)

namespace sorvan::avs::loader {

inline constexpr int kLazy = 0x1;            // RTLD_LAZY
inline constexpr int kNoLoad = 0x4;          // RTLD_NOLOAD: a handle only to a library already loaded
inline void* const kDefaultScope = nullptr;  // RTLD_DEFAULT

// Dl_info: where an address lies.
struct AddressInfo {
  const char* fileName;
  void* fileBase;
  const char* symbolName;
  void* symbolAddress;
};

// The leading fields of dl_phdr_info, which the loader hands to each visit by pointer.
struct LoadedLibraryInfo {
  uintptr_t address;
  const char* name;
};

}  // namespace sorvan::avs::loader

extern "C" {
void* dlopen(const char* file, int mode);
void* dlsym(void* handle, const char* name);
int dlclose(void* handle);
int dladdr(const void* address, sorvan::avs::loader::AddressInfo* info);
int dl_iterate_phdr(int (*visit)(sorvan::avs::loader::LoadedLibraryInfo* info, size_t size, void* data), void* data);
}

#else

#include <dlfcn.h>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#else
#include <link.h>
#endif

namespace sorvan::avs::loader {

inline constexpr int kLazy = RTLD_LAZY;
inline constexpr int kNoLoad = RTLD_NOLOAD;
inline void* const kDefaultScope = RTLD_DEFAULT;

}  // namespace sorvan::avs::loader

#endif
