// The plug-in's own heap blocks, counted: on Windows the DLL's import slots for msvcrt.dll's
// allocation functions are pointed at counting wrappers once it is loaded, so that a block it
// allocates and never frees shows after the host has let every filter go. Linux has the
// sanitizer builds for that: nothing is counted there.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
extern "C" {
__declspec(dllimport) void* __stdcall GetModuleHandleA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall VirtualProtect(void* address, size_t size, unsigned long protect,
                                                   unsigned long* old);
}
#endif

namespace sorvan::windows_test {

#if defined(_WIN32)
class HeapCensus {
 public:
  // Routes the allocations of the module loaded at `module` through the counters; false where
  // nothing is counted.
  static bool Attach(uintptr_t module);
  // Blocks the module has allocated and not freed since it was attached.
  static long Live() { return __atomic_load_n(&State().live, __ATOMIC_ACQUIRE); }

 private:
  using Allocate = void*(__cdecl*)(size_t);
  using Release = void(__cdecl*)(void*);
  struct Functions {
    Allocate malloc;
    void*(__cdecl* calloc)(size_t, size_t);
    void*(__cdecl* realloc)(void*, size_t);
    Release free;
    void*(__cdecl* alignedMalloc)(size_t, size_t);
    Release alignedFree;
    long live;
  };
  static Functions& State() {
    static Functions functions;
    return functions;
  }
  static void Count(const void* block, long change) {
    if (block != nullptr) __atomic_add_fetch(&State().live, change, __ATOMIC_ACQ_REL);
  }
  static void* __cdecl Malloc(size_t size) {
    void* block = State().malloc(size);
    Count(block, 1);
    return block;
  }
  static void* __cdecl Calloc(size_t count, size_t size) {
    void* block = State().calloc(count, size);
    Count(block, 1);
    return block;
  }
  static void* __cdecl Realloc(void* old, size_t size) {
    void* block = State().realloc(old, size);
    if (old == nullptr) Count(block, 1);
    if (old != nullptr && size == 0) Count(old, -1);  // msvcrt.dll frees it
    return block;
  }
  static void __cdecl Free(void* block) {
    Count(block, -1);
    State().free(block);
  }
  static void* __cdecl AlignedMalloc(size_t size, size_t alignment) {
    void* block = State().alignedMalloc(size, alignment);
    Count(block, 1);
    return block;
  }
  static void __cdecl AlignedFree(void* block) {
    Count(block, -1);
    State().alignedFree(block);
  }
};

inline bool HeapCensus::Attach(uintptr_t module) {
  Functions& f = State();
  f.live = 0;
  void* msvcrt = GetModuleHandleA("msvcrt.dll");
  if (module == 0 || msvcrt == nullptr) return false;
  f.malloc = reinterpret_cast<Allocate>(GetProcAddress(msvcrt, "malloc"));
  f.calloc = reinterpret_cast<decltype(f.calloc)>(GetProcAddress(msvcrt, "calloc"));
  f.realloc = reinterpret_cast<decltype(f.realloc)>(GetProcAddress(msvcrt, "realloc"));
  f.free = reinterpret_cast<Release>(GetProcAddress(msvcrt, "free"));
  f.alignedMalloc = reinterpret_cast<decltype(f.alignedMalloc)>(GetProcAddress(msvcrt, "_aligned_malloc"));
  f.alignedFree = reinterpret_cast<Release>(GetProcAddress(msvcrt, "_aligned_free"));
  const struct {
    const char* name;
    void* wrapper;
  } routes[] = {{"malloc", reinterpret_cast<void*>(&Malloc)},
                {"calloc", reinterpret_cast<void*>(&Calloc)},
                {"realloc", reinterpret_cast<void*>(&Realloc)},
                {"free", reinterpret_cast<void*>(&Free)},
                {"_aligned_malloc", reinterpret_cast<void*>(&AlignedMalloc)},
                {"_aligned_free", reinterpret_cast<void*>(&AlignedFree)}};
  // The import directory: NT headers at e_lfanew, the data directories after the optional
  // header's fixed part (96 bytes in PE32, 112 in PE32+), the imports second.
  auto u32 = [module](uintptr_t rva) { return *reinterpret_cast<const uint32_t*>(module + rva); };
  const uintptr_t nt = u32(0x3C);
  const uintptr_t directories = nt + 24 + (sizeof(void*) == 8 ? 112 : 96);
  for (uintptr_t d = u32(directories + 8); u32(d + 12) != 0; d += 20) {  // descriptors: ..., Name at 12
    const char* dll = reinterpret_cast<const char*>(module + u32(d + 12));
    if (strcmp(dll, "msvcrt.dll") != 0 && strcmp(dll, "MSVCRT.dll") != 0) continue;
    uintptr_t names = module + u32(d);       // OriginalFirstThunk: the names, by RVA of hint and name
    uintptr_t slots = module + u32(d + 16);  // FirstThunk: the bound addresses
    for (; *reinterpret_cast<const uintptr_t*>(names) != 0; names += sizeof(void*), slots += sizeof(void*)) {
      const uintptr_t entry = *reinterpret_cast<const uintptr_t*>(names);
      if ((entry >> (8 * sizeof(void*) - 1)) != 0) continue;  // by ordinal
      const char* name = reinterpret_cast<const char*>(module + entry + 2);
      for (const auto& route : routes) {
        if (strcmp(name, route.name) != 0) continue;
        unsigned long old = 0;
        VirtualProtect(reinterpret_cast<void*>(slots), sizeof(void*), 0x04 /* PAGE_READWRITE */, &old);
        *reinterpret_cast<void**>(slots) = route.wrapper;
        VirtualProtect(reinterpret_cast<void*>(slots), sizeof(void*), old, &old);
      }
    }
  }
  return true;
}
#else
class HeapCensus {
 public:
  static bool Attach(uintptr_t) { return false; }
  static long Live() { return 0; }
};
#endif

}  // namespace sorvan::windows_test
