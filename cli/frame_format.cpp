#include "cli/frame_format.h"

#include <fmt/format.h>

#include "cli/command_error.h"
#include "plugin/classic/pixel_type.h"

namespace sorvan::cli {

std::optional<StreamLayout> ParseRawFormatName(std::string_view name) {
  if (name == "rgb24") return StreamLayout::kRgb24;
  if (name == "rgb32") return StreamLayout::kRgb32;
  if (name == "yuy2") return StreamLayout::kYuy2;
  if (name == "yv12") return StreamLayout::kYv12;
  if (name == "i420") return StreamLayout::kI420;
  return std::nullopt;
}

std::string_view LayoutName(StreamLayout layout) {
  switch (layout) {
    case StreamLayout::kRgb24: return "rgb24";
    case StreamLayout::kRgb32: return "rgb32";
    case StreamLayout::kYuy2: return "yuy2";
    case StreamLayout::kYv12: return "yv12";
    case StreamLayout::kI420: return "i420";
    case StreamLayout::kPlanar422: return "4:2:2";
  }
  return "?";
}

int32_t ClipPixelType(StreamLayout layout) {
  switch (layout) {
    case StreamLayout::kRgb24: return CS_BGR24;
    case StreamLayout::kRgb32: return CS_BGR32;
    case StreamLayout::kYuy2:
    case StreamLayout::kPlanar422: return CS_YUY2;
    case StreamLayout::kYv12: return CS_YV12;
    case StreamLayout::kI420: return CS_I420;
  }
  return 0;
}

size_t FrameBytes(const FrameFormat& format) {
  const size_t pixels = static_cast<size_t>(format.width) * static_cast<size_t>(format.height);
  switch (format.layout) {
    case StreamLayout::kRgb24: return pixels * 3;
    case StreamLayout::kRgb32: return pixels * 4;
    case StreamLayout::kYuy2:
    case StreamLayout::kPlanar422: return pixels * 2;
    case StreamLayout::kYv12:
    case StreamLayout::kI420: return pixels + 2 * (pixels / 4);
  }
  return 0;
}

void CheckFrameSize(const FrameFormat& format, std::string_view what) {
  const int64_t w = format.width;
  const int64_t h = format.height;
  if (w <= 0 || h <= 0) {
    throw CommandError(fmt::format("{} gives a frame size of {}x{}; width and height must be at least 1", what, w, h));
  }
  if (w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) {
    throw CommandError(fmt::format("{} asks for {}x{} frames; sorvan accepts at most {} on a side and {} pixels per frame",
                                   what, w, h, kMaxSide, kMaxPixels));
  }
  switch (format.layout) {
    case StreamLayout::kYuy2:
    case StreamLayout::kPlanar422:
      if (w % 2 != 0) {
        throw CommandError(fmt::format("{} gives {}x{} {} frames; the width must be even for YUY2", what, w, h,
                                       LayoutName(format.layout)));
      }
      break;
    case StreamLayout::kYv12:
    case StreamLayout::kI420:
      if (w % 2 != 0 || h % 2 != 0) {
        throw CommandError(fmt::format("{} gives {}x{} 4:2:0 frames; width and height must be even", what, w, h));
      }
      break;
    default: break;
  }
}

PlaneLayout ClipPlaneLayout(const FrameFormat& format) {
  const int32_t w = format.width;
  const size_t lumaBytes = static_cast<size_t>(w) * static_cast<size_t>(format.height);
  const size_t chromaBytes = lumaBytes / 4;
  switch (format.layout) {
    case StreamLayout::kRgb24: return {w * 3, w * 3, 0, 0, 0};
    case StreamLayout::kRgb32: return {w * 4, w * 4, 0, 0, 0};
    case StreamLayout::kYuy2:
    case StreamLayout::kPlanar422: return {w * 2, w * 2, 0, 0, 0};
    case StreamLayout::kYv12: return {w, w, lumaBytes + chromaBytes, lumaBytes, w / 2};
    case StreamLayout::kI420: return {w, w, lumaBytes, lumaBytes + chromaBytes, w / 2};
  }
  return {0, 0, 0, 0, 0};
}

}  // namespace sorvan::cli
