// AVX-512 (F, BW, VL) fast paths, chosen at run time on CPUs without VNNI.
#include "core/x86/x86_kernels.h"

#if SORVAN_X86
#include "core/x86/avx512_isa.h"
#include "core/x86/kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kAvx512Kernels = MakeKernels("avx512");
}  // namespace
const SampleKernels<uint8_t>& Avx512Kernels() { return kAvx512Kernels; }
}  // namespace sorvan
#endif
