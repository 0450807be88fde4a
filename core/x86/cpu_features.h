// What the CPU and the operating system let the x86 kernels use: cpuid for the instructions,
// xgetbv for the register state the operating system saves.
#pragma once

#include "core/portability.h"

namespace sorvan {

struct CpuFeatures {
  bool sse2 = false;
  bool avx2 = false;        // with FMA
  bool avx512 = false;      // F, BW and VL, with the ZMM state enabled
  bool avx512Vnni = false;  // and VNNI on top
};

CpuFeatures DetectCpuFeatures();

}  // namespace sorvan
