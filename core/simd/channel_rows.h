// What the fast paths of every sample type and instruction set share around their lane
// arithmetic: a channel's rows, the reflection of sums beyond a row's ends, the one switch from
// a radius to code compiled for it, and the checks that the arguments are the filter's own
// arithmetic, which the decompositions rely on (anything else takes the reference).
#pragma once

#include "core/kernels/gaussian_weights.h"
#include "core/kernels/sample_kernels.h"
#include "core/surround_division.h"

namespace sorvan {
namespace {

template <typename T>
T* RowOf(Channel<T> c, int32_t y) {
  return SampleAt(c, 1, y, 0);
}

// Reflects r entries beyond both ends of a row of sums (sums[−d] = sums[d], sums[width − 1 + d]
// = sums[width − 1 − d]): the edge is the mirror axis, as in core/mirror.h.
template <typename Sum>
void ReflectEnds(Sum* sums, int32_t width, int32_t r) {
  for (int32_t d = 1; d <= r; ++d) {
    sums[-d] = sums[d];
    sums[width - 1 + d] = sums[width - 1 - d];
  }
}

// f.template operator()<M>() with M = radius (1 … kMaxRadius), so that every radius runs code
// compiled for it.
template <int32_t M = 1, typename F>
decltype(auto) WithRadius(int32_t radius, F&& f) {
  if constexpr (M == kMaxRadius) {
    return f.template operator()<M>();
  } else {
    if (radius == M) return f.template operator()<M>();
    return WithRadius<M + 1>(radius, f);
  }
}

// Limits of a merge fused into the Gaussian's row loop; `enabled` false leaves the averages as
// they are. Integer limits lie within the sample's range.
template <typename T>
struct FusedLimits {
  bool enabled;
  typename SampleTraits<T>::Limit positive;
  typename SampleTraits<T>::Limit negative;
};

// The fused merge's limits, or false for negative integer limits (which the filter never sets):
// those take the separate merge.
template <typename T>
bool FuseLimits(const MergeLimits<T>& limits, FusedLimits<T>* fused) {
  if constexpr (SampleTraits<T>::kFloat) {
    *fused = {true, limits.positive, limits.negative};
  } else {
    if (limits.positive < 0 || limits.negative < 0) return false;
    constexpr int32_t kTop = static_cast<T>(~T{0});
    *fused = {true, limits.positive < kTop ? limits.positive : kTop, limits.negative < kTop ? limits.negative : kTop};
  }
  return true;
}

// A channel in contiguous rows (gathered first when packed), where its average goes, and the
// Gaussian's arguments: what a Gaussian row loop works from.
template <typename T>
struct GaussianJob {
  Channel<const T> plane;
  Channel<T> dst;
  ChannelShape shape;
  const GaussianParams& g;
  FusedLimits<T> limits;
};

// Whether the Gaussian separates into a vertical and a horizontal pass with the centre's share
// left out of the centre column (K[m]·(V − K[m]·S) = K[m]·V − K[m]²·S): an odd window within
// kMaxWindow, symmetric taps, the centre's 2-D weight equal to its tap squared.
bool GaussianSeparates(const GaussianParams& g) {
  if (g.window < 3 || g.window > kMaxWindow || (g.window & 1) == 0) return false;
  const int32_t m = g.window / 2;
  if (g.centreWeightSq != g.taps[m] * g.taps[m]) return false;
  for (int32_t k = 0; k < g.window; ++k) {
    if (g.taps[k] != g.taps[g.window - 1 - k]) return false;
  }
  return true;
}

// The integer paths besides: taps in 0 … 511 (64·K must fit a 16-bit multiply-add; the filter's
// are at most 464) summing to at most 1024 (so every sum fits), and a divisor the multiply-high
// covers.
bool IntegerGaussianFits(const GaussianParams& g) {
  if (!GaussianSeparates(g) || !SurroundDivisorFits(g.surroundWeight)) return false;
  int32_t total = 0;
  for (int32_t k = 0; k < g.window; ++k) {
    if (g.taps[k] < 0 || g.taps[k] > 511) return false;
    total += g.taps[k];
  }
  return total <= 1024;
}

// The box average's running sums and their reflection need an odd window within kMaxWindow.
bool BoxWindowFits(int32_t window) { return window >= 3 && window <= kMaxWindow && (window & 1) != 0; }

}  // namespace
}  // namespace sorvan
