// AVX-512 (F, BW, VL) fast paths, chosen at run time on CPUs without VNNI.
#include "core/x86/x86_kernels.h"

#include "core/x86/avx512_isa.h"
// The templates, after the `Isa` they are written over.
#include "core/simd/byte_kernel_templates.h"
#include "core/simd/float_kernel_templates.h"
#include "core/simd/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kBytes = FastKernels<ByteKernels>::Table("avx512");
constexpr SampleKernels<uint16_t> kWords = FastKernels<words::WordKernels>::Table("avx512");
constexpr SampleKernels<float> kFloats = FastKernels<floats::FloatKernels>::Table("avx512");
}  // namespace
constexpr KernelSet kAvx512Kernels = {&kBytes, &kWords, &kFloats};
}  // namespace sorvan
