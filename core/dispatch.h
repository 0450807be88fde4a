// Chooses the kernel table of a filter once, at construction: the best one the CPU and the
// operating system run, no higher than a cap. The levels are the portable reference, "scalar",
// and above it the rungs of this architecture's ladder (core/instruction_ladder.h; on x86
// "sse2", "avx2", "avx512"). The cap comes from the caller and from the environment variable
// SORVAN_MAX_ISA, and the lower one wins. One path serves every sample type: uint8_t (8-bit),
// uint16_t (9 to 16 bits in words) and float.
#pragma once

#include "core/instruction_ladder.h"

namespace sorvan {

// A level: the reference or a rung of this build's ladder, ordered as the ladder is. Which rung
// a value stands for is known to the dispatch alone.
class InstructionSet {
 public:
  static const InstructionSet kScalar;  // the portable reference, on every architecture
  static const InstructionSet kBest;    // no cap: the top of the ladder, whatever it is

  constexpr InstructionSet() = default;  // kScalar
  constexpr bool operator==(InstructionSet other) const { return rung_ == other.rung_; }
  constexpr bool operator<(InstructionSet other) const { return rung_ < other.rung_; }

 private:
  friend struct LadderPosition;
  constexpr explicit InstructionSet(int32_t rung) : rung_(rung) {}
  int32_t rung_ = 0;  // 0: the reference; n: the ladder's n-th rung
};
inline constexpr InstructionSet InstructionSet::kScalar{0};
inline constexpr InstructionSet InstructionSet::kBest{INT32_MAX};
inline constexpr InstructionSet kBestInstructionSet = InstructionSet::kBest;

// "scalar" for the reference, else the rung's name; kBest is named as the top rung.
const char* InstructionSetName(InstructionSet isa);
// Accepts the names of this build's levels, ignoring case; false for anything else, names of
// another architecture's rungs included.
bool ParseInstructionSet(const char* name, InstructionSet* isa);

// Every level of this build, the reference first, whether or not the CPU runs it. Fills at most
// `capacity` entries and returns how many there are.
inline constexpr int32_t kMaxInstructionSets = 1 + kMaxLadderRungs;
int32_t ListInstructionSets(InstructionSet* levels, int32_t capacity);

// The highest level this CPU and operating system can run; kScalar where the ladder has none.
InstructionSet SupportedInstructionSet();

// The cap SORVAN_MAX_ISA sets, or kBest when it is unset or names no level of this build.
InstructionSet EnvironmentInstructionSetCap();

// SORVAN_MAX_ISA's value when it is set but names no level of this build, which MakeFilterPlan
// (core/filter_request.h) refuses, naming it and the levels; nullptr when it is unset, empty or
// a level's name.
const char* UnrecognisedInstructionSetCap();

// The table of sample type T for exactly this level: at a rung, its first path the CPU runs
// that has one (AVX-512: the VNNI variant where the CPU has VNNI). nullptr when the CPU runs
// none of them or the rung has no table for T.
template <typename T>
const SampleKernels<T>* KernelsForInstructionSet(InstructionSet isa);

// Every table of T built for this architecture, the reference first, with the level that
// selects it; `kernels` is nullptr where the CPU cannot run it. For tests and benchmarks.
template <typename T>
struct KernelVariant {
  const char* name;
  InstructionSet isa;
  const SampleKernels<T>* kernels;
};
inline constexpr int32_t kMaxKernelVariants = 1 + kMaxLadderRungs * kMaxPathsPerRung;
template <typename T>
int32_t ListKernelVariants(KernelVariant<T>* variants, int32_t capacity);

// The best table of T no higher than `cap` nor the environment's cap; a level that has none for
// T gives the next lower one's.
template <typename T>
const SampleKernels<T>& SelectKernels(InstructionSet cap);

#define SORVAN_DISPATCH(T)                                                             \
  extern template const SampleKernels<T>* KernelsForInstructionSet<T>(InstructionSet); \
  extern template int32_t ListKernelVariants<T>(KernelVariant<T>*, int32_t);           \
  extern template const SampleKernels<T>& SelectKernels<T>(InstructionSet);
SORVAN_DISPATCH(uint8_t)
SORVAN_DISPATCH(uint16_t)
SORVAN_DISPATCH(float)
#undef SORVAN_DISPATCH

}  // namespace sorvan
