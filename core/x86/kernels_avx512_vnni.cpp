// AVX-512 fast paths with VNNI (the vertical multiply-adds accumulate in one instruction),
// chosen at run time where the CPU has it.
#include "core/x86/x86_kernels.h"

#include "core/x86/avx512_isa.h"
#include "core/x86/kernel_templates.h"
#include "core/x86/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kBytes = MakeKernels("avx512vnni");
constexpr SampleKernels<uint16_t> kWords = words::MakeWordKernels("avx512vnni");
}  // namespace
constexpr KernelSet kAvx512VnniKernels = {&kBytes, &kWords, nullptr};
}  // namespace sorvan
