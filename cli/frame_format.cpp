#include "cli/frame_format.h"

#include <fmt/format.h>

#include "cli/command_error.h"

namespace sorvan::cli {

std::array<PlaneSpan, kMaxPlanes> FramePlanes(const FrameFormat& format) {
  std::array<PlaneSpan, kMaxPlanes> planes{};
  size_t offset = 0;
  for (int32_t p = 0; p < format.video.planeCount; ++p) {
    const auto rowBytes = static_cast<size_t>(PlaneRowBytes(format.video, p, format.width));
    const int32_t height = PlaneHeight(format.video, p, format.height);
    planes[p] = {offset, rowBytes, PlaneWidth(format.video, p, format.width), height};
    offset += rowBytes * static_cast<size_t>(height);
  }
  return planes;
}

size_t FrameBytes(const FrameFormat& format) {
  return static_cast<size_t>(sorvan::FrameBytes(format.video, format.width, format.height));
}

namespace {

template <typename View, typename Byte>
View ViewOfBytes(const FrameFormat& format, Byte* bytes) {
  View view{};
  const auto planes = FramePlanes(format);
  for (int32_t p = 0; p < format.video.planeCount; ++p) {
    view.planes[p] = {bytes + planes[p].offset, static_cast<int32_t>(planes[p].rowBytes), planes[p].width,
                      planes[p].height};
  }
  return view;
}

}  // namespace

FrameView ViewOf(const FrameFormat& format, uint8_t* bytes) { return ViewOfBytes<FrameView>(format, bytes); }

SourceFrameView SourceViewOf(const FrameFormat& format, const uint8_t* bytes) {
  return ViewOfBytes<SourceFrameView>(format, bytes);
}

void CheckFrameSize(const FrameFormat& format, std::string_view what) {
  const int64_t w = format.width;
  const int64_t h = format.height;
  if (w <= 0 || h <= 0) {
    throw CommandError(fmt::format("{} gives a frame size of {}x{}; width and height must be at least 1", what, w, h));
  }
  if (w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) {
    throw CommandError(
        fmt::format("{} asks for {}x{} frames; sorvan accepts at most {} on a side and {} pixels per frame", what, w, h,
                    kMaxSide, kMaxPixels));
  }
  const VideoFormat& v = format.video;
  if (IsPacked(v) && v.family == ColourFamily::kYuv && w % 2 != 0) {
    throw CommandError(fmt::format("{} gives {}x{} {} frames; the width must be even, as two pixels share their chroma",
                                   what, w, h, v.name != nullptr ? v.name : "packed 4:2:2"));
  }
}

}  // namespace sorvan::cli
