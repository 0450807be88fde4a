// What one frame of the stream looks like: the layouts the command reads and writes, their
// sizes, and the frame-server pixel type each is filtered as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorvan::cli {

enum class StreamLayout {
  kRgb24,      // B,G,R per pixel
  kRgb32,      // B,G,R,A per pixel
  kYuy2,       // Y0,U,Y1,V per pixel pair
  kYv12,       // Y plane, then V (W/2 x H/2), then U
  kI420,       // Y plane, then U (W/2 x H/2), then V; also Y4M 4:2:0
  kPlanar422,  // Y4M 4:2:2: Y plane, then U (W/2 x H), then V; filtered as YUY2
};

struct FrameFormat {
  StreamLayout layout;
  int32_t width;
  int32_t height;
};

// Largest frames the command accepts, checked before anything is allocated for them. 16384 on
// a side keeps every row and pitch far inside the frame server's 32-bit arithmetic; 2^26 pixels
// (8192 x 8192) keeps one frame of any layout within 256 MiB.
inline constexpr int64_t kMaxSide = 16384;
inline constexpr int64_t kMaxPixels = int64_t{1} << 26;

// Parses the --format names rgb24, rgb32, yuy2, yv12, i420.
std::optional<StreamLayout> ParseRawFormatName(std::string_view name);
std::string_view LayoutName(StreamLayout layout);

// The frame-server pixel type a layout is filtered as (CS_* code).
int32_t ClipPixelType(StreamLayout layout);

// Bytes of one frame of the stream (the same for the clip's packed frame).
size_t FrameBytes(const FrameFormat& format);

// Refuses sizes the frame server would refuse (zero, odd width for YUY2 and 4:2:2, odd width or
// height for 4:2:0) and sizes above the caps, with a message saying which rule was broken.
// `what` names where the size came from ("--size", "the Y4M header").
void CheckFrameSize(const FrameFormat& format, std::string_view what);

// Byte offsets and pitches of the planes of a tightly packed frame in a clip layout
// (planar 4:2:2 is described as the YUY2 frame it is packed into).
struct PlaneLayout {
  int32_t pitch;        // bytes from one row of the main image to the next
  int32_t rowSize;      // bytes of image data in a main row
  size_t uOffset;       // planar layouts only
  size_t vOffset;
  int32_t chromaPitch;  // 0 for packed layouts
};
PlaneLayout ClipPlaneLayout(const FrameFormat& format);

}  // namespace sorvan::cli
