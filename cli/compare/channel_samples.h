// Where each sample of one colour channel of a frame lies in the frame's bytes, and its value in
// 8-bit levels, for the comparison picture's display and statistics.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/frame_format.h"

namespace sorvan::cli {

struct ChannelGeometry {
  size_t offset;    // bytes from the frame's start to the channel's first sample
  size_t rowBytes;  // bytes from one row to the next
  int32_t width;    // samples a row
  int32_t height;   // rows
  int32_t step;     // samples from one of the channel's samples to the next in a row
  int32_t bytes;    // bytes of one sample
  int32_t xShift;   // a pixel's column x holds the channel's sample x >> xShift
  int32_t yShift;   // a pixel's row y holds the channel's row y >> yShift
};

// Channel c (0 … ColourChannelCount − 1) of frames of `format`.
ChannelGeometry GeometryOf(const FrameFormat& format, int32_t c);

// Byte offset of the channel's sample (x, y), in the channel's own grid.
inline size_t SampleOffset(const ChannelGeometry& g, int32_t x, int32_t y) {
  return g.offset + static_cast<size_t>(y) * g.rowBytes +
         static_cast<size_t>(x) * static_cast<size_t>(g.step) * static_cast<size_t>(g.bytes);
}

// The sample at `at` in 8-bit levels: integers of B bits divided by 2^(B−8), float times 255
// (chroma of float YUV, −0.5 … 0.5, moved to 0 … 255 first). Not clamped; NaN and infinities
// come out as 0, so that no display arithmetic sees them.
double SampleLevel(const VideoFormat& format, int32_t c, const uint8_t* at);

}  // namespace sorvan::cli
