// The x86 ladder: SSE2 (the x86-64 baseline; on 32-bit x86 where the CPU has it), AVX2 with
// FMA, AVX-512 (F, BW, VL) with a VNNI variant. A new instruction set is a kernels_<isa>.cpp
// of its own and one rung here, in its place in the order.
#include "core/architecture.h"

#if SORVAN_ARCH_X86
#include "core/x86/cpu_features.h"
#include "core/x86/x86_kernels.h"

namespace sorvan {
namespace {

bool RunsSse2() { return DetectCpuFeatures().sse2; }
bool RunsAvx2() { return DetectCpuFeatures().avx2; }
bool RunsAvx512() { return DetectCpuFeatures().avx512; }
bool RunsAvx512Vnni() { return DetectCpuFeatures().avx512Vnni; }

constexpr LadderRung kRungs[] = {
    {"sse2", {{&kSse2Kernels, &RunsSse2}}},
    {"avx2", {{&kAvx2Kernels, &RunsAvx2}}},
    {"avx512", {{&kAvx512VnniKernels, &RunsAvx512Vnni}, {&kAvx512Kernels, &RunsAvx512}}},
};

}  // namespace

Ladder ArchitectureLadder() { return LadderOf(kRungs); }

}  // namespace sorvan
#endif
