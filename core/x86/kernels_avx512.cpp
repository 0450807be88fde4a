// AVX-512 (F, BW, VL) fast paths, chosen at run time on CPUs without VNNI.
#include "core/x86/x86_kernels.h"

#include "core/x86/avx512_isa.h"
#include "core/x86/float_kernel_templates.h"
#include "core/x86/kernel_templates.h"
#include "core/x86/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kBytes = MakeKernels("avx512");
constexpr SampleKernels<uint16_t> kWords = words::MakeWordKernels("avx512");
constexpr SampleKernels<float> kFloats = floats::MakeFloatKernels("avx512");
}  // namespace
constexpr KernelSet kAvx512Kernels = {&kBytes, &kWords, &kFloats};
}  // namespace sorvan
