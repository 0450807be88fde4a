// What the filter did to one frame, channel by channel: which samples changed, and which a limit
// put back. A sample was put back by a limit when its channel is smoothed, the plain average
// differs from the source there, and yet the filtered sample equals the source: the merge kept
// the source. The plain average is not in the filter's output, so it is computed here once more
// with the core's reference kernels, which every integer fast path matches exactly; float fast
// paths may differ from them by 2^-20, so a float sample whose fast average happened to equal
// the source could in principle be marked, a case too rare and too small to show.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/frame_format.h"
#include "core/parameters.h"

namespace sorvan::cli {

struct ChannelChange {
  bool smoothed = false;
  int64_t samples = 0;
  int64_t changed = 0;                // filtered differs from source (bit for bit)
  int64_t restored = 0;               // put back by a limit
  std::vector<uint8_t> restoredMask;  // 1 where restored, in the channel's own grid; empty when not smoothed
};

struct FrameChange {
  int32_t channelCount = 0;
  ChannelChange channels[kColourChannels];
};

// `arguments` must be ones the filter accepted for `format`.
FrameChange AnalyseChange(const FrameFormat& format, const FilterArguments& arguments, const uint8_t* source,
                          const uint8_t* filtered);

}  // namespace sorvan::cli
