// Which x86 level's kernels the loaded DLL runs. Every level gives the same bytes, so frames
// cannot tell; the code can. On Windows the probe reads the DLL's link map (the .map lld-link
// writes beside it), puts a breakpoint (int3) on the first byte of every private function of
// each level's translation units (kernels_sse2, _avx2, _avx512: the kernels, not the table
// accessors the dispatcher calls while it chooses), and a vectored exception handler notes the
// level of each one hit, puts the byte back and resumes. A function the linker folded into
// another's code serves two units and is left out. On Linux there is no map: nothing is armed.
// One probe at a time: the handler's table is the process's.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "tests/windows/driver_support.h"

#if defined(_WIN32)
extern "C" {
__declspec(dllimport) void* __stdcall AddVectoredExceptionHandler(unsigned long first, long(__stdcall* handler)(void*));
__declspec(dllimport) int __stdcall VirtualProtect(void* address, size_t size, unsigned long protect,
                                                   unsigned long* old);
__declspec(dllimport) int __stdcall FlushInstructionCache(void* process, const void* address, size_t size);
__declspec(dllimport) int __stdcall IsProcessorFeaturePresent(unsigned long feature);
#if defined(_MSC_VER)  // no C library headers in the Microsoft-ABI build
__declspec(dllimport) void* __cdecl fopen(const char* path, const char* mode);
__declspec(dllimport) char* __cdecl fgets(char* line, int size, void* file);
__declspec(dllimport) int __cdecl fclose(void* file);
#endif
}
#if !defined(_MSC_VER)
#include <stdio.h>
#endif
#endif

namespace sorvan::windows_test {

// Level bits, in the order of the levels.
constexpr unsigned kSse2 = 1, kAvx2 = 2, kAvx512 = 4;

// The level an instruction-set cap names (null: none).
inline unsigned LevelOfCap(const char* cap) {
  if (cap == nullptr) return kAvx512;
  if (strcmp(cap, "scalar") == 0) return 0;
  if (strcmp(cap, "sse2") == 0) return kSse2;
  return strcmp(cap, "avx2") == 0 ? kAvx2 : kAvx512;
}

class KernelProbe {
 public:
  // Arms the probes in the DLL loaded from `dllPath`; false where there is nothing to arm.
  bool Arm(const char* dllPath, uintptr_t loadedAt);
  // The highest level whose code ran since Arm (0: none).
  unsigned TopRan() const {
    const unsigned ran = State().ran;
    return ran >= kAvx512 ? kAvx512 : ran >= kAvx2 ? kAvx2 : ran;
  }
  // Where armed: that the highest level run since Arm is the one `cap` and the CPU allow.
  void Expect(const char* cap) const {
    if (!armed_ || TopRan() == ExpectedTop(cap)) return;
    printf("FAIL: SORVAN_MAX_ISA %s: kernels of level %u ran, not %u (1 sse2, 2 avx2, 4 avx512)\n",
           cap != nullptr ? cap : "unset", TopRan(), ExpectedTop(cap));
    ++FailureCount();
  }
  // Puts back every byte still patched; before the DLL is unloaded.
  void Disarm();
  // What TopRan should be under `cap`: the highest level the system says this CPU has, no
  // higher than the cap (0: the portable code alone).
  static unsigned ExpectedTop(const char* cap);

 private:
  struct Probe {
    uintptr_t address;
    unsigned level;
    uint8_t original;
    bool armed;
  };
  struct Table {
    Probe probes[4096];
    int count;
    unsigned ran;
    void* handler;
  };
  bool armed_ = false;
  static Table& State() {
    static Table table;
    return table;
  }
#if defined(_WIN32)
  static void Patch(Probe& p, uint8_t byte) {
    unsigned long old = 0;
    VirtualProtect(reinterpret_cast<void*>(p.address), 1, 0x40 /* PAGE_EXECUTE_READWRITE */, &old);
    *reinterpret_cast<volatile uint8_t*>(p.address) = byte;
    VirtualProtect(reinterpret_cast<void*>(p.address), 1, old, &old);
    FlushInstructionCache(reinterpret_cast<void*>(-1), reinterpret_cast<void*>(p.address), 1);
  }
  static long __stdcall OnException(void* pointers);
#endif
};

#if defined(_WIN32)
inline long __stdcall KernelProbe::OnException(void* pointers) {
  constexpr unsigned long kBreakpoint = 0x80000003ul;
  void* const* p = static_cast<void* const*>(pointers);  // EXCEPTION_POINTERS: the record, the context
  const unsigned long code = *static_cast<const unsigned long*>(p[0]);
  // EXCEPTION_RECORD.ExceptionAddress follows the code, the flags and the chained record.
  const uintptr_t at = *reinterpret_cast<const uintptr_t*>(static_cast<const char*>(p[0]) + 8 + sizeof(void*));
  if (code != kBreakpoint) return 0;  // EXCEPTION_CONTINUE_SEARCH
  Table& t = State();
  for (int i = 0; i < t.count; ++i) {
    Probe& probe = t.probes[i];
    if (probe.address != at || probe.level == 0) continue;
    // One thread puts the byte back; another that hit it meanwhile just runs it again.
    if (__atomic_exchange_n(&probe.armed, false, __ATOMIC_ACQ_REL)) Patch(probe, probe.original);
    __atomic_or_fetch(&t.ran, probe.level, __ATOMIC_ACQ_REL);
    // Resume at the breakpoint's address: CONTEXT's Eip (x86) or Rip (x64).
    *reinterpret_cast<uintptr_t*>(static_cast<char*>(p[1]) + (sizeof(void*) == 8 ? 0xF8 : 0xB8)) = at;
    return -1;  // EXCEPTION_CONTINUE_EXECUTION
  }
  return 0;
}
#endif

inline bool KernelProbe::Arm(const char* dllPath, uintptr_t loadedAt) {
  Table& t = State();
  t.count = 0;
  t.ran = 0;
#if defined(_WIN32)
  char mapPath[1024];
  const size_t length = strlen(dllPath);
  if (length < 4 || length >= sizeof mapPath) return false;
  memcpy(mapPath, dllPath, length - 4);
  memcpy(mapPath + length - 4, ".map", 5);
  auto* map = fopen(mapPath, "r");
  if (map == nullptr || loadedAt == 0) return false;
  // " 0001:offset  symbol  rva+base  object": code symbols, and the base they count from.
  auto hex = [](const char* s) {
    uintptr_t v = 0;
    for (; (*s >= '0' && *s <= '9') || (*s >= 'a' && *s <= 'f'); ++s)
      v = v * 16 + (*s <= '9' ? *s - '0' : *s - 'a' + 10);
    return v;
  };
  constexpr const char* kPreferred = "Preferred load address is ";
  uintptr_t preferred = 0;
  char line[1024];
  while (fgets(line, sizeof line, map) != nullptr && t.count < 4096) {
    if (const char* p = strstr(line, kPreferred)) preferred = hex(p + strlen(kPreferred));
    if (memcmp(line, " 0001:", 6) != 0) continue;
    // The four fields, split at spaces in place.
    char* fields[4];
    int n = 0;
    for (char* s = line; *s != '\0' && n < 4;) {
      while (*s == ' ') ++s;
      if (*s == '\0' || *s == '\n' || *s == '\r') break;
      fields[n++] = s;
      while (*s != '\0' && *s != ' ' && *s != '\n' && *s != '\r') ++s;
      if (*s != '\0') *s++ = '\0';
    }
    if (n < 4) continue;
    const unsigned level = strstr(fields[3], "avx512") ? kAvx512
                           : strstr(fields[3], "avx2") ? kAvx2
                           : strstr(fields[3], "sse2") ? kSse2
                                                       : 0;
    const bool kernel = level != 0 && strstr(fields[1], "@?A0x") != nullptr;  // private to its unit
    t.probes[t.count++] = {hex(fields[2]) - preferred + loadedAt, kernel ? level : 0, 0, false};
  }
  fclose(map);
  for (int i = 0; i < t.count; ++i) {
    bool alone = true;
    for (int j = 0; j < t.count && alone; ++j) alone = j == i || t.probes[j].address != t.probes[i].address;
    if (!alone) t.probes[i].level = 0;
  }
  unsigned levels = 0;
  for (int i = 0; i < t.count; ++i) {
    if (t.probes[i].level == 0) continue;
    t.probes[i].original = *reinterpret_cast<const uint8_t*>(t.probes[i].address);
    Patch(t.probes[i], 0xCC);
    t.probes[i].armed = true;
    levels |= t.probes[i].level;
  }
  // Units named otherwise, or kernels no longer private to them, would leave nothing to see.
  if (!Check(levels == (kSse2 | kAvx2 | kAvx512), "the link map shows no private kernel code of some x86 level")) {
    return false;
  }
  if (t.handler == nullptr) t.handler = AddVectoredExceptionHandler(1, &OnException);
  armed_ = true;
  return true;
#else
  (void)dllPath;
  (void)loadedAt;
  return false;
#endif
}

inline void KernelProbe::Disarm() {
#if defined(_WIN32)
  Table& t = State();
  for (int i = 0; i < t.count; ++i) {
    if (t.probes[i].armed) Patch(t.probes[i], t.probes[i].original);
    t.probes[i].armed = false;
  }
#endif
}

inline unsigned KernelProbe::ExpectedTop(const char* cap) {
#if defined(_WIN32)
  constexpr unsigned long kAvx2Present = 40, kAvx512Present = 41;  // PF_AVX2_, PF_AVX512F_INSTRUCTIONS_AVAILABLE
  const unsigned cpu = IsProcessorFeaturePresent(kAvx512Present) ? kAvx512
                       : IsProcessorFeaturePresent(kAvx2Present) ? kAvx2
                                                                 : kSse2;
  const unsigned limit = LevelOfCap(cap);
  return limit < cpu ? limit : cpu;
#else
  (void)cap;
  return 0;
#endif
}

}  // namespace sorvan::windows_test
