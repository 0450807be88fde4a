// The few calls of the dynamic loader that the run-time look-up of the host's functions needs,
// declared here as the systems' C libraries export them, so that the plug-in includes no system
// header beyond the freestanding ones; only the fields read here are declared of the loader's
// records. The flags differ by system; macOS lists its libraries through dyld rather than
// dl_iterate_phdr.
#pragma once

#include "core/portability.h"

#if !defined(__linux__) && !defined(__APPLE__) && !defined(__FreeBSD__)
#error "dynamic_loader.h: give this system's RTLD_NOLOAD and RTLD_DEFAULT values"
#endif

namespace sorvan::avs::loader {

inline constexpr int kLazy = 0x1;  // RTLD_LAZY
// RTLD_NOLOAD: a handle only to a library already loaded.
#if defined(__linux__)
inline constexpr int kNoLoad = 0x4;
#elif defined(__APPLE__)
inline constexpr int kNoLoad = 0x10;
#else
inline constexpr int kNoLoad = 0x2000;
#endif
// RTLD_DEFAULT: the program's global scope.
inline void* DefaultScope() {
#if defined(__linux__)
  return nullptr;
#else
  return reinterpret_cast<void*>(intptr_t{-2});
#endif
}

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
#if defined(__APPLE__)
uint32_t _dyld_image_count(void);
const char* _dyld_get_image_name(uint32_t index);
#else
int dl_iterate_phdr(int (*visit)(sorvan::avs::loader::LoadedLibraryInfo* info, size_t size, void* data), void* data);
#endif
}
