// What the filter must make of one channel, from the direct formulations alone.
#pragma once

#include <vector>

#include "core/filter_settings.h"
#include "support/direct_average.h"

namespace sorvan::testing {

inline std::vector<int32_t> TapsOf(const GaussianWeights& w) {
  return {w.taps.data(), w.taps.data() + w.taps.size()};
}

// Smoothed and merged when selected and large enough for its average; otherwise itself.
// Channel 3 is the RGB32 alpha byte, which is always copied.
inline Plane ExpectedChannel(const FilterSettings& s, const Plane& source, int channel) {
  const bool selected[3] = {s.ry, s.gu, s.bv};
  const int32_t p[3] = {s.pry, s.pgu, s.pbv};
  const int32_t n[3] = {s.nry, s.ngu, s.nbv};
  if (channel == 3 || !selected[channel]) return source;
  const int32_t minimum = s.force ? s.window : 2 * s.rad;
  if (source.width < minimum || source.height < minimum) return source;
  const Plane smoothed = s.force ? DirectBox(source, s.window)
                                 : DirectGaussian(source, TapsOf(s.weights), s.weights.centreWeightSq,
                                                  s.weights.surroundWeight);
  return DirectMerge(source, smoothed, p[channel], n[channel]);
}

}  // namespace sorvan::testing
