// The ARM64 ladder: NEON (Advanced SIMD), which every ARM64 CPU has. A further instruction set
// (SVE) is a kernels_<isa>.cpp in this folder and one rung here, in its place in the order.
#include "core/architecture.h"

#if SORVAN_ARCH_ARM64
#include "core/arm/arm_kernels.h"

namespace sorvan {
namespace {

// Advanced SIMD is part of the AArch64 base architecture.
bool RunsNeon() { return true; }

constexpr LadderRung kRungs[] = {
    {"neon", {{&kNeonKernels, &RunsNeon}}},
};

}  // namespace

Ladder ArchitectureLadder() { return LadderOf(kRungs); }

}  // namespace sorvan
#endif
