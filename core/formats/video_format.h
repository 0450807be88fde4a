// What the core knows of a video format: the colour family, the sample type, the planes with
// their subsampling, and where each colour channel and the alpha channel sit. Every host's
// format codes and the command's format names map onto this one description (each through one
// table of its own), and every plane geometry is derived here and nowhere else.
#pragma once

#include "core/portability.h"

namespace sorvan {

enum class ColourFamily : uint8_t { kYuv, kRgb, kGray };
enum class SampleType : uint8_t { kInteger, kFloat };

inline constexpr int32_t kMaxPlanes = 4;
inline constexpr int32_t kColourChannels = 3;

// Where one channel's samples are. Offsets and steps count samples, not bytes.
struct ChannelPlacement {
  int8_t plane;       // memory plane that holds the channel; -1: the format has no such channel
  int8_t offset;      // from the first sample of a row to the channel's first sample
  int8_t step;        // from one of the channel's samples to the next in a row
  int8_t widthShift;  // the channel has (plane width >> widthShift) samples a row (packed 4:2:2 chroma)
};

// One memory plane, relative to the frame's width and height in pixels.
struct PlaneLayout {
  int8_t widthShift;       // log2 of the horizontal subsampling
  int8_t heightShift;      // log2 of the vertical subsampling
  int8_t samplesPerPixel;  // 1 for planar formats; 3 or 4 for packed RGB, 2 for packed YUV 4:2:2
};

struct VideoFormat {
  const char* name;  // as the table that made it calls the format; may be null
  ColourFamily family;
  SampleType sampleType;
  int8_t bitsPerSample;  // 8 … 16 for integers (in 16-bit words from 9 bits up), 32 for float
  int8_t planeCount;
  PlaneLayout planes[kMaxPlanes];
  // By colour, not by memory position: Y, U, V; blue, green, red; gray alone.
  ChannelPlacement channels[kColourChannels];
  ChannelPlacement alpha;  // plane -1 when the format has no alpha
};

// The limits of what the core computes on.
inline constexpr int32_t kMinIntegerBits = 8;
inline constexpr int32_t kMaxIntegerBits = 16;
inline constexpr int32_t kFloatBits = 32;

constexpr bool HasChannel(const ChannelPlacement& c) { return c.plane >= 0; }
constexpr bool HasAlpha(const VideoFormat& f) { return HasChannel(f.alpha); }
constexpr int32_t ColourChannelCount(const VideoFormat& f) { return f.family == ColourFamily::kGray ? 1 : 3; }
constexpr bool IsPacked(const VideoFormat& f) { return f.planes[0].samplesPerPixel > 1; }
constexpr int32_t BytesPerSample(const VideoFormat& f) {
  return f.sampleType == SampleType::kFloat ? 4 : (f.bitsPerSample > 8 ? 2 : 1);
}

// True for the sample types the filter computes on: integers of 8 to 16 bits and 32-bit float,
// with a consistent plane and channel description.
bool IsProcessableFormat(const VideoFormat& format);

// The size of a plane for a frame of width × height pixels, rounding up where the subsampling
// does not divide (as Y4M and raw video do for odd sizes). Width in pixels of that plane.
int32_t PlaneWidth(const VideoFormat& format, int32_t plane, int32_t frameWidth);
int32_t PlaneHeight(const VideoFormat& format, int32_t plane, int32_t frameHeight);
// Bytes of image data in one row of the plane.
int64_t PlaneRowBytes(const VideoFormat& format, int32_t plane, int32_t frameWidth);
// Bytes of one whole frame with every plane stored without padding, in plane order.
int64_t FrameBytes(const VideoFormat& format, int32_t frameWidth, int32_t frameHeight);

// Planar formats, by named fields: PlanarFormat({.family = ColourFamily::kYuv, .bitsPerSample =
// 10, .widthShift = 1, .heightShift = 1}) is 10-bit 4:2:0 with planes Y, U, V; what is left out
// takes the default below. `channelPlanes` gives the memory plane of each colour channel (Y, U,
// V or blue, green, red), so that any plane order a host uses is described; the alpha plane,
// when there is one, comes after them. Gray uses channelPlanes[0] only.
struct PlanarFormatFields {
  ColourFamily family = ColourFamily::kYuv;
  SampleType sampleType = SampleType::kInteger;
  int32_t bitsPerSample = 8;
  int32_t widthShift = 0;   // chroma subsampling, YUV only
  int32_t heightShift = 0;  // chroma subsampling, YUV only
  bool alpha = false;
  int8_t channelPlanes[kColourChannels] = {0, 1, 2};  // see the usual orders below
};
VideoFormat PlanarFormat(const PlanarFormatFields& fields, const char* name = nullptr);

// The usual plane orders.
inline constexpr int8_t kPlanesYuv[kColourChannels] = {0, 1, 2};  // Y, U, V
inline constexpr int8_t kPlanesYvu[kColourChannels] = {0, 2, 1};  // Y, V, U (YV12)
inline constexpr int8_t kPlanesGbr[kColourChannels] = {1, 0, 2};  // G, B, R: blue is plane 1
inline constexpr int8_t kPlanesRgb[kColourChannels] = {2, 1, 0};  // R, G, B: blue is plane 2

// Packed layouts, named by their byte order in memory (BGR24: blue first).
enum class PackedLayout : uint8_t {
  kBgr24,
  kBgra32,
  kBgr48,
  kBgra64,
  kRgb24,
  kRgba32,
  kRgb48,
  kRgba64,
  kArgb32,
  kAbgr32,
  kYuyv,
  kUyvy,
};
VideoFormat PackedFormat(PackedLayout layout, const char* name = nullptr);

}  // namespace sorvan
