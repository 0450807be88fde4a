// The ARM64 ladder. It has no rung yet, so ARM64 runs the portable reference. An instruction
// set is a kernels_<isa>.cpp in this folder (its `Isa` struct over the operations of
// core/simd/vector_operations.h, then the templates of core/simd/ and its KernelSet) and one
// rung here, lowest first:
//     {"neon", {{&kNeonKernels, &RunsNeon}}},
#include "core/architecture.h"

#if SORVAN_ARCH_ARM64
#include "core/instruction_ladder.h"

namespace sorvan {

Ladder ArchitectureLadder() { return {nullptr, 0}; }

}  // namespace sorvan
#endif
