#include "core/formats/video_format.h"

namespace sorvan {
namespace {

constexpr ChannelPlacement kNoChannel = {-1, 0, 1, 0};

constexpr int32_t RoundUpShift(int32_t value, int32_t shift) {
  if (value <= 0) return 0;
  return static_cast<int32_t>((static_cast<int64_t>(value) + (int64_t{1} << shift) - 1) >> shift);
}

bool ValidPlacement(const VideoFormat& f, const ChannelPlacement& c) {
  if (c.plane < 0) return true;
  if (c.plane >= f.planeCount || c.step < 1 || c.offset < 0 || c.widthShift < 0 || c.widthShift > 2) return false;
  return c.offset < f.planes[c.plane].samplesPerPixel << c.widthShift;
}

}  // namespace

bool IsProcessableFormat(const VideoFormat& f) {
  const bool integer =
      f.sampleType == SampleType::kInteger && f.bitsPerSample >= kMinIntegerBits && f.bitsPerSample <= kMaxIntegerBits;
  const bool single = f.sampleType == SampleType::kFloat && f.bitsPerSample == kFloatBits;
  if (!integer && !single) return false;
  if (f.planeCount < 1 || f.planeCount > kMaxPlanes) return false;
  for (int32_t p = 0; p < f.planeCount; ++p) {
    const PlaneLayout& l = f.planes[p];
    if (l.widthShift < 0 || l.widthShift > 2 || l.heightShift < 0 || l.heightShift > 2 || l.samplesPerPixel < 1 ||
        l.samplesPerPixel > 4) {
      return false;
    }
  }
  for (int32_t c = 0; c < kColourChannels; ++c) {
    if (!ValidPlacement(f, f.channels[c])) return false;
    if ((c < ColourChannelCount(f)) != HasChannel(f.channels[c])) return false;
  }
  return ValidPlacement(f, f.alpha);
}

int32_t PlaneWidth(const VideoFormat& format, int32_t plane, int32_t frameWidth) {
  if (plane < 0 || plane >= format.planeCount) return 0;
  return RoundUpShift(frameWidth, format.planes[plane].widthShift);
}

int32_t PlaneHeight(const VideoFormat& format, int32_t plane, int32_t frameHeight) {
  if (plane < 0 || plane >= format.planeCount) return 0;
  return RoundUpShift(frameHeight, format.planes[plane].heightShift);
}

int64_t PlaneRowBytes(const VideoFormat& format, int32_t plane, int32_t frameWidth) {
  if (plane < 0 || plane >= format.planeCount) return 0;
  return static_cast<int64_t>(PlaneWidth(format, plane, frameWidth)) * format.planes[plane].samplesPerPixel *
         BytesPerSample(format);
}

int64_t FrameBytes(const VideoFormat& format, int32_t frameWidth, int32_t frameHeight) {
  int64_t total = 0;
  for (int32_t p = 0; p < format.planeCount; ++p) {
    total += PlaneRowBytes(format, p, frameWidth) * PlaneHeight(format, p, frameHeight);
  }
  return total;
}

VideoFormat PlanarFormat(const PlanarFormatFields& fields, const char* name) {
  VideoFormat f{};
  f.name = name;
  f.family = fields.family;
  f.sampleType = fields.sampleType;
  f.bitsPerSample = static_cast<int8_t>(fields.bitsPerSample);
  const int32_t colourPlanes = fields.family == ColourFamily::kGray ? 1 : 3;
  f.planeCount = static_cast<int8_t>(colourPlanes + (fields.alpha ? 1 : 0));
  for (int32_t p = 0; p < kMaxPlanes; ++p) f.planes[p] = {0, 0, 1};
  for (int32_t c = 0; c < kColourChannels; ++c) f.channels[c] = kNoChannel;
  f.alpha = kNoChannel;
  if (fields.family == ColourFamily::kGray) {
    f.channels[0] = {0, 0, 1, 0};
  } else {
    for (int32_t c = 0; c < kColourChannels; ++c) f.channels[c] = {fields.channelPlanes[c], 0, 1, 0};
  }
  // Chroma subsampling applies to the U and V planes of YUV only.
  if (fields.family == ColourFamily::kYuv) {
    for (int32_t c = 1; c < kColourChannels; ++c) {
      const int32_t p = fields.channelPlanes[c];
      if (p >= 0 && p < kMaxPlanes) {
        f.planes[p] = {static_cast<int8_t>(fields.widthShift), static_cast<int8_t>(fields.heightShift), 1};
      }
    }
  }
  if (fields.alpha) f.alpha = {static_cast<int8_t>(colourPlanes), 0, 1, 0};
  return f;
}

VideoFormat PackedFormat(PackedLayout layout, const char* name) {
  VideoFormat f{};
  f.name = name;
  f.planeCount = 1;
  f.sampleType = SampleType::kInteger;
  f.bitsPerSample = 8;
  for (int32_t p = 0; p < kMaxPlanes; ++p) f.planes[p] = {0, 0, 1};
  f.alpha = kNoChannel;
  // Memory positions of blue, green, red and alpha within a pixel (-1: no alpha).
  int8_t position[4] = {0, 1, 2, -1};
  int8_t samples = 3;
  switch (layout) {
    case PackedLayout::kBgr24: break;
    case PackedLayout::kBgr48: f.bitsPerSample = 16; break;
    case PackedLayout::kBgra32:
      samples = 4;
      position[3] = 3;
      break;
    case PackedLayout::kBgra64:
      samples = 4;
      position[3] = 3;
      f.bitsPerSample = 16;
      break;
    case PackedLayout::kRgb24:
      position[0] = 2;
      position[2] = 0;
      break;
    case PackedLayout::kRgb48:
      position[0] = 2;
      position[2] = 0;
      f.bitsPerSample = 16;
      break;
    case PackedLayout::kRgba32:
      samples = 4;
      position[0] = 2;
      position[2] = 0;
      position[3] = 3;
      break;
    case PackedLayout::kRgba64:
      samples = 4;
      position[0] = 2;
      position[2] = 0;
      position[3] = 3;
      f.bitsPerSample = 16;
      break;
    case PackedLayout::kArgb32:
      samples = 4;
      position[0] = 3;
      position[1] = 2;
      position[2] = 1;
      position[3] = 0;
      break;
    case PackedLayout::kAbgr32:
      samples = 4;
      position[0] = 1;
      position[1] = 2;
      position[2] = 3;
      position[3] = 0;
      break;
    case PackedLayout::kYuyv:
    case PackedLayout::kUyvy: {
      // Two pixels in four samples: Y Y at every other sample, one U and one V for the pair.
      const bool yFirst = layout == PackedLayout::kYuyv;
      f.family = ColourFamily::kYuv;
      f.planes[0] = {0, 0, 2};
      f.channels[0] = {0, static_cast<int8_t>(yFirst ? 0 : 1), 2, 0};
      f.channels[1] = {0, static_cast<int8_t>(yFirst ? 1 : 0), 4, 1};
      f.channels[2] = {0, static_cast<int8_t>(yFirst ? 3 : 2), 4, 1};
      return f;
    }
  }
  f.family = ColourFamily::kRgb;
  f.planes[0] = {0, 0, samples};
  for (int32_t c = 0; c < kColourChannels; ++c) f.channels[c] = {0, position[c], samples, 0};
  if (position[3] >= 0) f.alpha = {0, position[3], samples, 0};
  return f;
}

}  // namespace sorvan
