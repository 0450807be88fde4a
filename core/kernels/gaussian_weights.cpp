#include "core/kernels/gaussian_weights.h"

namespace sorvan {

// Why every C runtime gives the same taps, though pow differs in the last bit between them: of
// all 64 (rad, str) pairs, the share (g·1024)/total that comes nearest to an integer is 211.0138
// (rad 2, str 4, the second tap), 6.5·10^-5 of itself away, while a pow correct to one unit in
// the last place moves a share by a few 10^-16 of itself. So the truncations, and the centre's
// remainder, are the same for every such pow. tests/core/gaussian_weights_test.cpp proves it
// tap by tap, bracketing pow on both sides of the exact power, and compares the tables with a
// golden table worked out in exact arithmetic; the Windows builds run the same comparison with
// msvcrt.dll's pow.
double GaussianBell(int32_t rad, int32_t str, PowerFunction power, double* bell) {
  const int32_t window = 2 * rad + 1;
  const int32_t middle = window / 2;
  // The constants are the filter's own (not 2π and e): tables must match it bit for bit.
  const double scale = sqrt(6.2831853);
  double total = 0.0;
  for (int32_t i = 0; i < window; ++i) {
    const double x = static_cast<double>(i - middle);
    const double q = static_cast<double>(str * str);
    const double t = -((x * x * 0.5) / q);
    bell[i] = power(2.71828, t) / (static_cast<double>(str) * scale);
    total = bell[i] + total;
  }
  return total;
}

int32_t TruncatedTap(double sample, double total) { return static_cast<int32_t>((sample * 1024.0) / total); }

GaussianWeights BuildGaussianWeights(int32_t rad, int32_t str) {
  GaussianWeights result;
  const int32_t window = 2 * rad + 1;
  const int32_t middle = window / 2;
  result.window = window;

  double bell[kMaxWindow];
  const double total = GaussianBell(rad, str, &pow, bell);
  int32_t* k = result.taps;
  int32_t isum = 0;
  for (int32_t i = 0; i < window; ++i) {
    k[i] = TruncatedTap(bell[i], total);
    isum += k[i];
  }
  // The truncation remainder all goes to the centre, which keeps the table summing to 1024.
  k[middle] += 1024 - isum;

  result.centreWeightSq = k[middle] * k[middle];
  result.surroundWeight = 1048576 - result.centreWeightSq;
  return result;
}

}  // namespace sorvan
