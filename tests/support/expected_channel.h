// What the filter must make of one channel, from the direct formulations alone.
#pragma once

#include <vector>

#include "core/kernels/gaussian_weights.h"
#include "core/parameters.h"
#include "tests/support/direct_average.h"

namespace sorvan::testing {

inline std::vector<int32_t> TapsOf(const GaussianWeights& w) { return {w.taps, w.taps + w.window}; }

// The defaults with some values changed, e.g. Arguments({{kRy, 1}, {kRad, 3}}).
inline FilterArguments Arguments(std::initializer_list<std::pair<Parameter, int32_t>> changes) {
  FilterArguments a = DefaultArguments();
  for (const auto& [p, v] : changes) a[p] = v;
  return a;
}

// Smoothed and merged when selected and large enough for its average; otherwise itself.
// Channel 3 is the alpha channel, which is always copied.
inline Plane ExpectedChannel(const FilterArguments& a, const Plane& source, int channel) {
  if (channel == 3 || !a.Flag(kChannelParameters[channel].enabled)) return source;
  const int32_t window = 2 * a[kRad] + 1;
  const int32_t minimum = a.Flag(kForce) ? window : 2 * a[kRad];
  if (source.width < minimum || source.height < minimum) return source;
  const GaussianWeights w = BuildGaussianWeights(a[kRad], a[kStr]);
  const Plane smoothed = a.Flag(kForce) ? DirectBox(source, window)
                                        : DirectGaussian(source, TapsOf(w), w.centreWeightSq, w.surroundWeight);
  return DirectMerge(source, smoothed, a[kChannelParameters[channel].positive],
                     a[kChannelParameters[channel].negative]);
}

}  // namespace sorvan::testing
