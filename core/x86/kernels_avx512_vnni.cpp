// AVX-512 fast paths with VNNI (the vertical multiply-adds accumulate in one instruction),
// chosen at run time where the CPU has it.
#include "core/x86/x86_kernels.h"

#if SORVAN_X86
#include "core/x86/avx512_isa.h"
#include "core/x86/kernel_templates.h"
#include "core/x86/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kAvx512VnniKernels = MakeKernels("avx512vnni");
constexpr SampleKernels<uint16_t> kAvx512VnniKernelsWords = words::MakeWordKernels("avx512vnni");
}  // namespace
const SampleKernels<uint8_t>& Avx512VnniKernels() { return kAvx512VnniKernels; }
const SampleKernels<uint16_t>& Avx512VnniWordKernels() { return kAvx512VnniKernelsWords; }
}  // namespace sorvan
#endif
