// A channel laid out in a padded, packed buffer the way frames hold them, for tests: sample
// (y, x) is at offset + y·pitch + x·step, and every other byte is filler that must survive.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "tests/support/direct_average.h"

namespace sorvan::testing {

struct StridedChannel {
  int32_t width, height, step, pitch, offset;
  std::vector<uint8_t> bytes;

  StridedChannel(int32_t w, int32_t h, int32_t s, int32_t p, int32_t o, uint8_t filler)
      : width(w),
        height(h),
        step(s),
        pitch(p),
        offset(o),
        bytes(static_cast<size_t>(o) + static_cast<size_t>(p) * (h > 0 ? h : 0) + 1, filler) {}

  uint8_t* base() { return bytes.data() + offset; }
  uint8_t& at(int32_t y, int32_t x) { return bytes[static_cast<size_t>(offset) + y * pitch + x * step]; }

  void Fill(const Plane& plane) {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) at(y, x) = plane.at(y, x);
  }
  Plane Extract() {
    Plane plane{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height)};
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) plane.samples[static_cast<size_t>(y) * width + x] = at(y, x);
    return plane;
  }
  // True when every byte that is not a sample still holds `filler`.
  bool FillerIntact(uint8_t filler) {
    std::vector<bool> isSample(bytes.size(), false);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) isSample[static_cast<size_t>(offset) + y * pitch + x * step] = true;
    for (size_t i = 0; i < bytes.size(); ++i)
      if (!isSample[i] && bytes[i] != filler) return false;
    return true;
  }
};

inline Plane RandomPlane(std::mt19937& rng, int32_t width, int32_t height, int32_t lo = 0, int32_t hi = 255) {
  std::uniform_int_distribution<int> dist(lo, hi);
  Plane plane{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height)};
  for (auto& v : plane.samples) v = static_cast<uint8_t>(dist(rng));
  return plane;
}

inline Plane FlatPlane(int32_t width, int32_t height, uint8_t value) {
  return Plane{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, value)};
}

inline Plane PlaneFromRows(const std::vector<std::vector<int>>& rows) {
  Plane plane{static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()), {}};
  for (const auto& row : rows)
    for (int v : row) plane.samples.push_back(static_cast<uint8_t>(v));
  return plane;
}

}  // namespace sorvan::testing
