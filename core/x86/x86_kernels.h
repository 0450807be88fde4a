// The x86 kernel sets, one per translation unit, each compiled for its own instruction set.
// Only the x86 ladder refers to them, and the dispatch calls one only after checking the CPU.
#pragma once

#include "core/instruction_ladder.h"

namespace sorvan {

// Float tables at AVX2 and AVX-512 only; VNNI adds nothing to them.
extern const KernelSet kSse2Kernels;
extern const KernelSet kAvx2Kernels;
extern const KernelSet kAvx512Kernels;
extern const KernelSet kAvx512VnniKernels;

}  // namespace sorvan
