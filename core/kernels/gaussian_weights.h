// The integer Gaussian kernel of the default smoothing mode.
#pragma once

#include "core/kernels/sample_kernels.h"

namespace sorvan {

inline constexpr int32_t kMaxRadius = 8;
inline constexpr int32_t kMaxWindow = 2 * kMaxRadius + 1;

// `window` taps in units of 1/1024 that add up to exactly 1024, symmetric about the centre.
struct GaussianWeights {
  int32_t taps[kMaxWindow] = {};
  int32_t window = 0;
  int32_t centreWeightSq = 0;  // taps[rad]², the centre's 2-D weight in units of 2^-20
  int32_t surroundWeight = 0;  // 2^20 − centreWeightSq

  GaussianParams Params() const { return {taps, window, surroundWeight, centreWeightSq}; }
};

// rad and str must lie in 1..8.
GaussianWeights BuildGaussianWeights(int32_t rad, int32_t str);

// The two steps of BuildGaussianWeights, for the tests that bound the effect of the C runtime's
// pow: the bell's 2·rad+1 samples into `bell` and their sum as returned, with `power` in pow's
// place; and one tap, the sample's share of the sum in 1/1024, truncated. Every operation in
// them but pow is exactly rounded, so the taps depend on the runtime only through pow.
using PowerFunction = double (*)(double base, double exponent);
double GaussianBell(int32_t rad, int32_t str, PowerFunction power, double* bell);
int32_t TruncatedTap(double sample, double total);

}  // namespace sorvan
