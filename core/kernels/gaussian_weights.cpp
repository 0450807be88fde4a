#include "core/kernels/gaussian_weights.h"

namespace sorvan {

GaussianWeights BuildGaussianWeights(int32_t rad, int32_t str) {
  GaussianWeights result;
  const int32_t window = 2 * rad + 1;
  const int32_t middle = window / 2;
  result.window = window;

  // The constants are the filter's own (not 2π and e): tables must match it bit for bit.
  const double scale = sqrt(6.2831853);
  double g[kMaxWindow];
  double total = 0.0;
  for (int32_t i = 0; i < window; ++i) {
    const double x = static_cast<double>(i - middle);
    const double q = static_cast<double>(str * str);
    const double t = -((x * x * 0.5) / q);
    g[i] = pow(2.71828, t) / (static_cast<double>(str) * scale);
    total = g[i] + total;
  }

  int32_t* k = result.taps;
  int32_t isum = 0;
  for (int32_t i = 0; i < window; ++i) {
    k[i] = static_cast<int32_t>((g[i] * 1024.0) / total);
    isum += k[i];
  }
  // The truncation remainder all goes to the centre, which keeps the table summing to 1024.
  k[middle] += 1024 - isum;

  result.centreWeightSq = k[middle] * k[middle];
  result.surroundWeight = 1048576 - result.centreWeightSq;
  return result;
}

}  // namespace sorvan
