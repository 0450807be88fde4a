// Chooses the 8-bit kernel table of a filter once, at construction, from what the CPU and the
// operating system support, no higher than a cap. The cap comes from the caller and from the
// environment variable SORVAN_MAX_ISA (scalar, sse2, avx2 or avx512); the lower one wins.
#pragma once

#include "core/kernels/sample_kernels.h"

namespace sorvan {

enum class InstructionSet : int32_t { kScalar = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3 };
inline constexpr InstructionSet kBestInstructionSet = InstructionSet::kAvx512;

// "scalar", "sse2", "avx2", "avx512".
const char* InstructionSetName(InstructionSet isa);
// Accepts the names above, ignoring case; false for anything else.
bool ParseInstructionSet(const char* name, InstructionSet* isa);

// The highest level this CPU and operating system can run; kScalar on other architectures.
InstructionSet SupportedInstructionSet();

// The cap SORVAN_MAX_ISA sets, or kBestInstructionSet when it is unset or not understood.
InstructionSet EnvironmentInstructionSetCap();

// The table for exactly this level, or nullptr when the CPU cannot run it or it is not built.
// At kAvx512 it is the VNNI variant where the CPU has VNNI.
const SampleKernels<uint8_t>* KernelsForInstructionSet(InstructionSet isa);

// Every table built for this architecture, the reference first and the AVX-512 one both with
// and without VNNI; `kernels` is nullptr where the CPU cannot run it. Fills at most `capacity`
// entries and returns how many there are. For tests and benchmarks.
struct KernelVariant {
  const char* name;
  InstructionSet isa;
  const SampleKernels<uint8_t>* kernels;
};
inline constexpr int32_t kMaxKernelVariants = 5;
int32_t ListKernelVariants(KernelVariant* variants, int32_t capacity);

// The best table no higher than `cap` nor the environment's cap.
const SampleKernels<uint8_t>& SelectKernels(InstructionSet cap);

// The same for B-bit samples in 16-bit words (9 to 16 bits) and for 32-bit float. Tables for
// an instruction set that has none for the sample type are nullptr, and the selection falls
// back to the next lower one.
template <typename T>
struct TypedKernelVariant {
  const char* name;
  InstructionSet isa;
  const SampleKernels<T>* kernels;
};
const SampleKernels<uint16_t>* WordKernelsForInstructionSet(InstructionSet isa);
int32_t ListWordKernelVariants(TypedKernelVariant<uint16_t>* variants, int32_t capacity);
const SampleKernels<uint16_t>& SelectWordKernels(InstructionSet cap);
const SampleKernels<float>* FloatKernelsForInstructionSet(InstructionSet isa);
int32_t ListFloatKernelVariants(TypedKernelVariant<float>* variants, int32_t capacity);
const SampleKernels<float>& SelectFloatKernels(InstructionSet cap);

}  // namespace sorvan
