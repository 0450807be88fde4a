// The x86 kernel tables, one per translation unit, each compiled for its own instruction set.
// Only the dispatcher refers to them, and only after checking the CPU.
#pragma once

#include "core/channel_kernels.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#define SORVAN_X86 1
#else
#define SORVAN_X86 0
#endif

namespace sorvan {

#if SORVAN_X86
const ChannelKernels& Sse2Kernels();
const ChannelKernels& Avx2Kernels();
const ChannelKernels& Avx512Kernels();
const ChannelKernels& Avx512VnniKernels();
#endif

}  // namespace sorvan
