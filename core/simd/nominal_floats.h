// Which float samples the fast paths take: their sums in double stay within the tolerance of
// the reference only while every sample's magnitude is below kNominalBound (the reasoning heads
// float_kernel_templates.h). Any other sample leaves the channel to the reference.
#pragma once

#include "core/simd/channel_rows.h"

namespace sorvan {
namespace {

constexpr float kNominalBound = 16.0f;

bool SampleIsNominal(float v) { return v > -kNominalBound && v < kNominalBound; }  // false for NaN

// Whether every sample of the channel is nominal: contiguous rows through the instruction set's
// rowIsNominal(row, width), packed ones sample by sample.
template <typename RowCheck>
bool ChannelIsNominal(Channel<const float> src, const ChannelShape& s, RowCheck rowIsNominal) {
  for (int32_t y = 0; y < s.height; ++y) {
    const float* row = RowOf(src, y);
    if (s.step == 1) {
      if (!rowIsNominal(row, s.width)) return false;
      continue;
    }
    for (int32_t x = 0; x < s.width; ++x) {
      if (!SampleIsNominal(row[static_cast<ptrdiff_t>(x) * s.step])) return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace sorvan
