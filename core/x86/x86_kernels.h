// The x86 kernel tables, one per translation unit, each compiled for its own instruction set.
// Only the dispatcher refers to them, and only after checking the CPU.
#pragma once

#include "core/kernels/sample_kernels.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#define SORVAN_X86 1
#else
#define SORVAN_X86 0
#endif

namespace sorvan {

// Workspace entries (int32) the 8-bit fast averages need for a channel of this width, whatever
// rad: three regions of equal size, each 64-byte aligned.
constexpr size_t KernelWorkspaceRegion(int32_t width) {
  return ((static_cast<size_t>(width > 0 ? width : 0) + 2 * 8 + 128) + 15) & ~static_cast<size_t>(15);
}
constexpr size_t KernelWorkspaceEntries(int32_t width) { return 3 * KernelWorkspaceRegion(width); }

#if SORVAN_X86
const SampleKernels<uint8_t>& Sse2Kernels();
const SampleKernels<uint8_t>& Avx2Kernels();
const SampleKernels<uint8_t>& Avx512Kernels();
const SampleKernels<uint8_t>& Avx512VnniKernels();
// B-bit samples in 16-bit words.
const SampleKernels<uint16_t>& Sse2WordKernels();
const SampleKernels<uint16_t>& Avx2WordKernels();
const SampleKernels<uint16_t>& Avx512WordKernels();
const SampleKernels<uint16_t>& Avx512VnniWordKernels();
// 32-bit float: AVX2 and AVX-512 only (VNNI adds nothing to them).
const SampleKernels<float>& Avx2FloatKernels();
const SampleKernels<float>& Avx512FloatKernels();
#endif

}  // namespace sorvan
