#include "cli/compare/channel_samples.h"

#include <cmath>
#include <cstring>

namespace sorvan::cli {

ChannelGeometry GeometryOf(const FrameFormat& format, int32_t c) {
  const VideoFormat& v = format.video;
  const ChannelPlacement& placement = v.channels[c];
  const PlaneLayout& layout = v.planes[placement.plane];
  const PlaneSpan span = FramePlanes(format)[placement.plane];
  const int32_t bytes = BytesPerSample(v);
  ChannelGeometry g{};
  g.offset = span.offset + static_cast<size_t>(placement.offset) * static_cast<size_t>(bytes);
  g.rowBytes = span.rowBytes;
  g.width = span.width >> placement.widthShift;
  g.height = span.height;
  g.step = placement.step > 0 ? placement.step : layout.samplesPerPixel;
  g.bytes = bytes;
  g.xShift = layout.widthShift + placement.widthShift;
  g.yShift = layout.heightShift;
  return g;
}

double SampleLevel(const VideoFormat& format, int32_t c, const uint8_t* at) {
  if (format.sampleType == SampleType::kFloat) {
    float value = 0;
    std::memcpy(&value, at, sizeof value);
    if (!std::isfinite(value)) return 0;
    const bool chroma = format.family == ColourFamily::kYuv && c > 0;
    return (chroma ? value + 0.5 : static_cast<double>(value)) * 255.0;
  }
  if (format.bitsPerSample <= 8) return *at;
  uint16_t word = 0;
  std::memcpy(&word, at, sizeof word);
  return std::ldexp(static_cast<double>(word), 8 - format.bitsPerSample);
}

}  // namespace sorvan::cli
