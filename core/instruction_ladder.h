// An architecture's ladder of instruction sets: the rungs above the portable reference, lowest
// first, each with the kernel tables compiled for it. Every architecture folder defines its
// ladder once (core/x86/x86_ladder.cpp, core/arm/arm_ladder.cpp, each compiled only where
// core/architecture.h names its architecture); choosing a table from it — names, caps, the
// environment's cap, the step down for a sample type a rung has no table for — is generic and
// lives in core/dispatch.cpp.
#pragma once

#include "core/kernels/sample_kernels.h"

namespace sorvan {

// The tables one instruction set's translation unit provides, one per sample type, each under
// its own name; null where it has none for that type (a selection then steps down the ladder
// for that type alone).
struct KernelSet {
  const SampleKernels<uint8_t>* bytes;
  const SampleKernels<uint16_t>* words;  // B-bit samples in 16-bit words
  const SampleKernels<float>* floats;
};

template <typename T>
constexpr const SampleKernels<T>* TableOf(const KernelSet& set);
template <>
constexpr const SampleKernels<uint8_t>* TableOf(const KernelSet& set) {
  return set.bytes;
}
template <>
constexpr const SampleKernels<uint16_t>* TableOf(const KernelSet& set) {
  return set.words;
}
template <>
constexpr const SampleKernels<float>* TableOf(const KernelSet& set) {
  return set.floats;
}

// One way to run a rung: its kernels and whether this CPU and operating system can run them.
struct KernelPath {
  const KernelSet* kernels;  // null: no path in this place
  bool (*runs)();
};

inline constexpr int32_t kMaxPathsPerRung = 2;
inline constexpr int32_t kMaxLadderRungs = 6;

// A level that SORVAN_MAX_ISA can name, with its paths, the preferred first: a rung may have a
// variant for CPUs with an extension (AVX-512 with VNNI) beside its plain one. A rung is within
// the CPU's reach when it runs any of the rung's paths.
struct LadderRung {
  const char* name;
  KernelPath paths[kMaxPathsPerRung];
};

struct Ladder {
  const LadderRung* rungs;  // lowest first
  int32_t count;            // at most kMaxLadderRungs
};

// The ladder of an architecture's table of rungs, its size checked where the table is written.
template <int32_t N>
constexpr Ladder LadderOf(const LadderRung (&rungs)[N]) {
  static_assert(N <= kMaxLadderRungs, "more rungs than a ladder holds");
  return {rungs, N};
}

// This build's ladder.
Ladder ArchitectureLadder();

}  // namespace sorvan
