// Slow, direct formulations of the two averages and the merge: the whole window × window
// weighted sum with reflection at every sample, no separability, no running sums. Tests and
// fuzz targets compare the production routines with these.
#pragma once

#include <cstdint>
#include <vector>

namespace sorvan::testing {

inline int32_t Reflect(int32_t i, int32_t n) { return i < 0 ? -i : (i > n - 1 ? 2 * (n - 1) - i : i); }

struct Plane {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> samples;  // row-major, no padding
  uint8_t at(int32_t y, int32_t x) const { return samples[static_cast<size_t>(y) * width + x]; }
};

inline Plane DirectGaussian(const Plane& s, const std::vector<int32_t>& k, int32_t centreWeightSq,
                            int32_t surroundWeight) {
  const int32_t m = static_cast<int32_t>(k.size()) / 2;
  Plane out{s.width, s.height, std::vector<uint8_t>(s.samples.size())};
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      int64_t full = 0;
      for (int32_t dy = -m; dy <= m; ++dy) {
        for (int32_t dx = -m; dx <= m; ++dx) {
          full += int64_t{k[m + dy]} * k[m + dx] * s.at(Reflect(y + dy, s.height), Reflect(x + dx, s.width));
        }
      }
      const bool edgeRow = y < m || y >= s.height - m;
      const int64_t value =
          edgeRow ? (512 + full) >> 20 : (512 + full - int64_t{centreWeightSq} * s.at(y, x)) / surroundWeight;
      out.samples[static_cast<size_t>(y) * s.width + x] = static_cast<uint8_t>(value);
    }
  }
  return out;
}

inline Plane DirectBox(const Plane& s, int32_t window) {
  const int32_t r = window / 2;
  const int64_t scale = (1 << 20) / (window * window);
  Plane out{s.width, s.height, std::vector<uint8_t>(s.samples.size())};
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      int64_t sum = 0;
      for (int32_t dy = -r; dy <= r; ++dy) {
        for (int32_t dx = -r; dx <= r; ++dx) sum += s.at(Reflect(y + dy, s.height), Reflect(x + dx, s.width));
      }
      out.samples[static_cast<size_t>(y) * s.width + x] = static_cast<uint8_t>((sum * scale) >> 20);
    }
  }
  return out;
}

// The merge applied to a smoothed plane: the source comes back wherever it lies more than
// p above or n below the smoothed value.
inline Plane DirectMerge(const Plane& source, const Plane& smoothed, int32_t p, int32_t n) {
  Plane out = smoothed;
  for (size_t i = 0; i < out.samples.size(); ++i) {
    const int32_t d = int32_t{source.samples[i]} - smoothed.samples[i];
    if (d > p || d < -n) out.samples[i] = source.samples[i];
  }
  return out;
}

}  // namespace sorvan::testing
