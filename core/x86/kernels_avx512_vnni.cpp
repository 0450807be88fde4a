// AVX-512 fast paths with VNNI (the vertical multiply-adds accumulate in one instruction),
// chosen at run time where the CPU has it.
#include "core/x86/x86_kernels.h"

#include "core/x86/avx512_isa.h"
// The templates, after the `Isa` they are written over.
#include "core/simd/byte_kernel_templates.h"
#include "core/simd/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kBytes = FastKernels<ByteKernels>::Table("avx512vnni");
constexpr SampleKernels<uint16_t> kWords = FastKernels<words::WordKernels>::Table("avx512vnni");
}  // namespace
constexpr KernelSet kAvx512VnniKernels = {&kBytes, &kWords, nullptr};
}  // namespace sorvan
