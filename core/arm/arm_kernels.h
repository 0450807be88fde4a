// The ARM64 kernel sets, each in a translation unit of its own. Only the ARM64 ladder refers to
// them.
#pragma once

#include "core/instruction_ladder.h"

namespace sorvan {

extern const KernelSet kNeonKernels;

}  // namespace sorvan
