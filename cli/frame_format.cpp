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

void CheckFrameSize(int64_t width, int64_t height, std::string_view given) {
  if (width <= 0 || height <= 0) {
    throw CommandError(fmt::format("{}: width and height must be at least 1", given));
  }
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
    throw CommandError(fmt::format(
        "{} asks for larger frames than sorvan accepts: at most {} on a side and {} pixels per frame (refused before "
        "reading any frame)",
        given, kMaxSide, kMaxPixels));
  }
}

}  // namespace sorvan::cli
