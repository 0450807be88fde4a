// Frames of the five pixel types in ordinary memory, with padded rows, for frame-level tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "core/frame_view.h"
#include "plugin/classic/pixel_type.h"
#include "support/classic_view.h"
#include "support/direct_average.h"

namespace sorvan::testing {

// Where one channel lives: plane 0 is the main image, 1 the U plane and 2 the V plane.
struct ChannelPlace {
  int channel;  // 0, 1, 2, or 3 for the RGB32 alpha byte
  int plane;
  int32_t byte, step, width, height;
};

inline std::vector<ChannelPlace> ChannelPlaces(int32_t type, int32_t w, int32_t h) {
  switch (type) {
    case CS_BGR24: return {{0, 0, 0, 3, w, h}, {1, 0, 1, 3, w, h}, {2, 0, 2, 3, w, h}};
    case CS_BGR32: return {{0, 0, 0, 4, w, h}, {1, 0, 1, 4, w, h}, {2, 0, 2, 4, w, h}, {3, 0, 3, 4, w, h}};
    case CS_YUY2: return {{0, 0, 0, 2, w, h}, {1, 0, 1, 4, w / 2, h}, {2, 0, 3, 4, w / 2, h}};
    default: return {{0, 0, 0, 1, w, h}, {1, 1, 0, 1, w / 2, h / 2}, {2, 2, 0, 1, w / 2, h / 2}};
  }
}

struct TestFrame {
  int32_t type, width, height;
  int32_t pitch, rowSize, chromaPitch;
  std::vector<uint8_t> planes[3];

  TestFrame(int32_t t, int32_t w, int32_t h, int32_t padding, int32_t chromaPadding, uint8_t filler)
      : type(t), width(w), height(h) {
    rowSize = w * (BitsPerPixel(t) == 12 ? 1 : BitsPerPixel(t) / 8);
    pitch = rowSize + padding;
    planes[0].assign(static_cast<size_t>(pitch) * h, filler);
    chromaPitch = 0;
    if ((t & CS_PLANAR) != 0) {
      chromaPitch = w / 2 + chromaPadding;
      planes[1].assign(static_cast<size_t>(chromaPitch) * (h / 2), filler);
      planes[2].assign(static_cast<size_t>(chromaPitch) * (h / 2), filler);
    }
  }

  int32_t PitchOf(int plane) const { return plane == 0 ? pitch : chromaPitch; }
  uint8_t& At(const ChannelPlace& c, int32_t y, int32_t x) {
    return planes[c.plane][static_cast<size_t>(y) * PitchOf(c.plane) + c.byte + static_cast<size_t>(x) * c.step];
  }

  Plane Channel(const ChannelPlace& c) {
    Plane p{c.width, c.height, std::vector<uint8_t>(static_cast<size_t>(c.width) * c.height)};
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) p.samples[static_cast<size_t>(y) * c.width + x] = At(c, y, x);
    return p;
  }

  void Randomize(std::mt19937& rng) {
    std::uniform_int_distribution<int> dist(0, 255);
    for (const ChannelPlace& c : ChannelPlaces(type, width, height))
      for (int32_t y = 0; y < c.height; ++y)
        for (int32_t x = 0; x < c.width; ++x) At(c, y, x) = static_cast<uint8_t>(dist(rng));
  }

  // Bytes of each row between the row size and the pitch.
  std::vector<uint8_t> Padding() const {
    std::vector<uint8_t> bytes;
    for (int plane = 0; plane < 3; ++plane) {
      const int32_t rowBytes = plane == 0 ? rowSize : width / 2;
      const int32_t p = PitchOf(plane);
      for (size_t row = 0; p > 0 && row < planes[plane].size() / p; ++row)
        for (int32_t i = rowBytes; i < p; ++i) bytes.push_back(planes[plane][row * p + i]);
    }
    return bytes;
  }

  // The frame's planes in its format's memory order (YV12: Y, V, U), as the core sees them.
  template <typename Byte>
  BasicFrameView<Byte> ViewAs() {
    const ClassicPlanes f = {type,
                             width,
                             height,
                             pitch,
                             rowSize,
                             chromaPitch,
                             chromaPitch != 0 ? rowSize >> 1 : 0,
                             chromaPitch != 0 ? height >> 1 : 0};
    return ClassicView<Byte>(f, static_cast<Byte*>(planes[0].data()), static_cast<Byte*>(planes[1].data()),
                             static_cast<Byte*>(planes[2].data()));
  }
  FrameView View() { return ViewAs<uint8_t>(); }
  SourceFrameView SourceView() { return ViewAs<const uint8_t>(); }
};

}  // namespace sorvan::testing

namespace sorvan::testing {

// One channel of a frame given by its plane addresses and pitches.
inline Plane ExtractChannel(const uint8_t* const planes[3], const int32_t pitches[3], const ChannelPlace& c) {
  Plane p{c.width, c.height,
          std::vector<uint8_t>(static_cast<size_t>(c.width > 0 ? c.width : 0) * (c.height > 0 ? c.height : 0))};
  for (int32_t y = 0; y < c.height; ++y)
    for (int32_t x = 0; x < c.width; ++x)
      p.samples[static_cast<size_t>(y) * c.width + x] =
          planes[c.plane][static_cast<ptrdiff_t>(y) * pitches[c.plane] + c.byte + static_cast<ptrdiff_t>(x) * c.step];
  return p;
}

}  // namespace sorvan::testing
