// What one frame of the stream looks like: its format (from the name table), its size, and
// where each plane sits in the frame's bytes. Planes follow each other without padding, rows
// top to bottom, each plane at the size the core gives it (chroma of odd sizes rounded up, as
// Y4M and ffmpeg's raw video store it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/formats/video_format.h"
#include "core/frame_view.h"

namespace sorvan::cli {

struct FrameFormat {
  VideoFormat video;
  int32_t width;
  int32_t height;
};

// Largest frames the command accepts, checked before anything is allocated for them: 16384 on
// a side and 2^26 pixels (8192 x 8192), so one frame of any format stays within 1 GiB.
inline constexpr int64_t kMaxSide = 16384;
inline constexpr int64_t kMaxPixels = int64_t{1} << 26;

// One plane's place in a frame's bytes.
struct PlaneSpan {
  size_t offset;
  size_t rowBytes;
  int32_t width;  // pixels
  int32_t height;
};
std::array<PlaneSpan, kMaxPlanes> FramePlanes(const FrameFormat& format);

// Bytes of one frame.
size_t FrameBytes(const FrameFormat& format);

// Views of a frame held in `bytes` (FrameBytes long) for the core.
FrameView ViewOf(const FrameFormat& format, uint8_t* bytes);
SourceFrameView SourceViewOf(const FrameFormat& format, const uint8_t* bytes);

// Refuses sizes of zero and above the caps, before anything is allocated for a frame. `given`
// names where the size came from, as given ("--size 0x4", "the Y4M header (W0 H4)").
void CheckFrameSize(int64_t width, int64_t height, std::string_view given);

}  // namespace sorvan::cli
