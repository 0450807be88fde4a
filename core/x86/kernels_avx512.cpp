// AVX-512 (F, BW, VL) fast paths, chosen at run time on CPUs without VNNI.
#include "core/x86/x86_kernels.h"

#if SORVAN_X86
#include "core/x86/avx512_isa.h"
#include "core/x86/float_kernel_templates.h"
#include "core/x86/kernel_templates.h"
#include "core/x86/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kAvx512Kernels = MakeKernels("avx512");
constexpr SampleKernels<uint16_t> kAvx512KernelsWords = words::MakeWordKernels("avx512");
constexpr SampleKernels<float> kAvx512KernelsFloats = floats::MakeFloatKernels("avx512");
}  // namespace
const SampleKernels<uint8_t>& Avx512Kernels() { return kAvx512Kernels; }
const SampleKernels<uint16_t>& Avx512WordKernels() { return kAvx512KernelsWords; }
const SampleKernels<float>& Avx512FloatKernels() { return kAvx512KernelsFloats; }
}  // namespace sorvan
#endif
