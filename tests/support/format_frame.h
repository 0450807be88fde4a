// A frame of any format the core knows, in ordinary memory: each plane with padded rows (the
// padding holds a filler that must survive), views for the core, and typed sample access; and
// one 8-bit channel of any frame view as a plane for the direct formulations.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/frame_view.h"
#include "tests/support/direct_average.h"
#include "tests/support/strided_address.h"

namespace sorvan::testing {

// Channel `channel` (3: alpha) of an 8-bit frame, sized by the frame's plane views.
inline Plane EightBitChannel(const SourceFrameView& frame, const VideoFormat& format, int32_t channel) {
  const ChannelPlacement& c = channel < kColourChannels ? format.channels[channel] : format.alpha;
  const SourcePlaneView& plane = frame.planes[c.plane];
  const int32_t width = plane.width > 0 ? plane.width >> c.widthShift : 0;
  const int32_t height = plane.height > 0 ? plane.height : 0;
  Plane out{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height))};
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      out.samples[static_cast<size_t>(y) * width + x] = *At(plane.data + c.offset, plane.pitch, y, x, c.step);
  return out;
}

struct FormatFrame {
  VideoFormat format{};
  int32_t width = 0, height = 0;
  std::vector<uint8_t> planes[kMaxPlanes];
  int32_t pitch[kMaxPlanes] = {};

  FormatFrame(const VideoFormat& f, int32_t w, int32_t h, int32_t padding = 0, uint8_t filler = 0)
      : format(f), width(w), height(h) {
    for (int32_t p = 0; p < f.planeCount; ++p) {
      // Padding in whole samples, so rows stay aligned for their sample type as hosts keep them.
      pitch[p] = static_cast<int32_t>(PlaneRowBytes(f, p, w)) + padding * BytesPerSample(f);
      planes[p].assign(static_cast<size_t>(pitch[p]) * PlaneHeight(f, p, h) + 1, filler);
    }
  }

  int32_t PlaneWidthOf(int32_t p) const { return PlaneWidth(format, p, width); }
  int32_t PlaneHeightOf(int32_t p) const { return PlaneHeight(format, p, height); }

  template <typename Byte>
  BasicFrameView<Byte> ViewAs() {
    BasicFrameView<Byte> view{};
    for (int32_t p = 0; p < format.planeCount; ++p) {
      view.planes[p] = {planes[p].data(), pitch[p], PlaneWidthOf(p), PlaneHeightOf(p)};
    }
    return view;
  }
  FrameView View() { return ViewAs<uint8_t>(); }
  SourceFrameView SourceView() { return ViewAs<const uint8_t>(); }

  // Sample x of row y of a channel placement, as T.
  template <typename T>
  T& At(const ChannelPlacement& c, int32_t y, int32_t x) {
    uint8_t* row = planes[c.plane].data() + static_cast<size_t>(y) * pitch[c.plane];
    return reinterpret_cast<T*>(row)[c.offset + static_cast<ptrdiff_t>(x) * c.step];
  }
  int32_t ChannelWidth(const ChannelPlacement& c) const { return PlaneWidthOf(c.plane) >> c.widthShift; }
  int32_t ChannelHeight(const ChannelPlacement& c) const { return PlaneHeightOf(c.plane); }

  // Every sample of every channel (alpha included) set by `value(channel, y, x)`; channel 3 is alpha.
  template <typename Value>
  void Fill(Value value) {
    for (int32_t c = 0; c < 4; ++c) {
      const ChannelPlacement& placement = c < 3 ? format.channels[c] : format.alpha;
      if (!HasChannel(placement)) continue;
      for (int32_t y = 0; y < ChannelHeight(placement); ++y) {
        for (int32_t x = 0; x < ChannelWidth(placement); ++x) {
          const double v = value(c, y, x);
          switch (BytesPerSample(format)) {
            case 1: At<uint8_t>(placement, y, x) = static_cast<uint8_t>(v); break;
            case 2: At<uint16_t>(placement, y, x) = static_cast<uint16_t>(v); break;
            default: At<float>(placement, y, x) = static_cast<float>(v); break;
          }
        }
      }
    }
  }

  // Smooth gradients with small noise and now and then a large spike, in the format's range.
  void Paint(uint32_t seed) {
    std::mt19937 rng(seed);
    const bool isFloat = format.sampleType == SampleType::kFloat;
    const double top = isFloat ? 1.0 : static_cast<double>((1 << format.bitsPerSample) - 1);
    Fill([&](int32_t c, int32_t y, int32_t x) {
      double v = (40 + c * 30 + (x / 3 + y / 2) % 120 + static_cast<int32_t>(rng() % 7)) / 255.0;
      if (rng() % 16 == 0) v = (rng() % 256) / 255.0;
      return isFloat ? v : static_cast<double>(static_cast<int64_t>(v * top + 0.5));
    });
  }

  // Whether every byte beyond the samples of each row still holds `filler`.
  bool PaddingHolds(uint8_t filler) const {
    for (int32_t p = 0; p < format.planeCount; ++p) {
      if (pitch[p] <= 0) continue;
      const size_t rowBytes = static_cast<size_t>(PlaneRowBytes(format, p, width));
      for (size_t i = 0; i < planes[p].size(); ++i) {
        if (i % static_cast<size_t>(pitch[p]) >= rowBytes && planes[p][i] != filler) return false;
      }
    }
    return true;
  }

  bool operator==(const FormatFrame& o) const {
    for (int32_t p = 0; p < kMaxPlanes; ++p)
      if (planes[p] != o.planes[p]) return false;
    return true;
  }
};

}  // namespace sorvan::testing
