#include "core/x86/cpu_features.h"

#include "core/architecture.h"

#if SORVAN_ARCH_X86
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace sorvan {

#if SORVAN_ARCH_X86
namespace {

struct CpuidRegisters {
  uint32_t eax, ebx, ecx, edx;
};

CpuidRegisters Cpuid(uint32_t leaf, uint32_t subleaf) {
  CpuidRegisters r = {0, 0, 0, 0};
#if defined(_MSC_VER) && !defined(__clang__)
  int regs[4];
  __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
  r = {static_cast<uint32_t>(regs[0]), static_cast<uint32_t>(regs[1]), static_cast<uint32_t>(regs[2]),
       static_cast<uint32_t>(regs[3])};
#else
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
  return r;
}

// XCR0: which register states the operating system saves on a context switch. Only called
// when cpuid reports OSXSAVE, so the instruction exists.
uint64_t ReadXcr0() {
#if defined(_MSC_VER) && !defined(__clang__)
  return _xgetbv(0);
#else
  uint32_t lo = 0;
  uint32_t hi = 0;
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));  // xgetbv
  return (static_cast<uint64_t>(hi) << 32) | lo;
#endif
}

bool Bit(uint32_t value, int bit) { return ((value >> bit) & 1u) != 0; }

}  // namespace

CpuFeatures DetectCpuFeatures() {
  CpuFeatures f;
  const uint32_t maxLeaf = Cpuid(0, 0).eax;
  if (maxLeaf < 1) return f;
  const CpuidRegisters l1 = Cpuid(1, 0);
  f.sse2 = Bit(l1.edx, 26);
  if (!Bit(l1.ecx, 27) || !Bit(l1.ecx, 28) || maxLeaf < 7) return f;  // OSXSAVE and AVX
  const uint64_t xcr0 = ReadXcr0();
  const bool ymmState = (xcr0 & 0x6) == 0x6;    // SSE and AVX state
  const bool zmmState = (xcr0 & 0xE6) == 0xE6;  // plus opmask, ZMM_Hi256 and Hi16_ZMM
  const CpuidRegisters l7 = Cpuid(7, 0);
  // The AVX2 level also uses FMA (its float paths), which every AVX2 processor has.
  f.avx2 = ymmState && Bit(l7.ebx, 5) && Bit(l1.ecx, 12);
  f.avx512 = f.avx2 && zmmState && Bit(l7.ebx, 16) && Bit(l7.ebx, 30) && Bit(l7.ebx, 31);  // F, BW, VL
  f.avx512Vnni = f.avx512 && Bit(l7.ecx, 11);
  return f;
}
#endif

}  // namespace sorvan
