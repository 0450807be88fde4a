// Cuts a frame of one of the five pixel types into its channels and smooths or copies each.
#pragma once

#include "core/channel_view.h"
#include "core/filter_settings.h"

namespace sorvan {

struct ClipGeometry {
  int32_t width;
  int32_t height;
  int32_t pixelType;
};

// Filters `src` into `dst` (same clip geometry, no overlap). Bytes beyond each row's size are
// not touched. Unselected planar chroma goes through `copyPlane`; a channel smaller than its
// average needs is copied unchanged.
void ProcessFrame(const ClipGeometry& clip, FilterSettings& settings, const FramePlanes& dst,
                  const SourceFramePlanes& src, const CopyPlane& copyPlane);

// True when a channel of this size is large enough for the average the settings choose.
bool ChannelFitsAverage(const FilterSettings& settings, int32_t width, int32_t height);

}  // namespace sorvan
