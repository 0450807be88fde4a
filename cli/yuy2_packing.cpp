#include "cli/yuy2_packing.h"

#include <cstddef>

namespace sorvan::cli {

void PackPlanar422ToYuy2(const uint8_t* planar, uint8_t* yuy2, int32_t width, int32_t height) {
  const size_t w = static_cast<size_t>(width);
  const size_t cw = w / 2;
  const size_t h = static_cast<size_t>(height);
  const uint8_t* yPlane = planar;
  const uint8_t* uPlane = planar + w * h;
  const uint8_t* vPlane = uPlane + cw * h;
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* ys = yPlane + y * w;
    const uint8_t* us = uPlane + y * cw;
    const uint8_t* vs = vPlane + y * cw;
    uint8_t* row = yuy2 + y * w * 2;
    for (size_t x = 0; x < cw; ++x) {
      row[4 * x + 0] = ys[2 * x];
      row[4 * x + 1] = us[x];
      row[4 * x + 2] = ys[2 * x + 1];
      row[4 * x + 3] = vs[x];
    }
  }
}

void UnpackYuy2ToPlanar422(const uint8_t* yuy2, uint8_t* planar, int32_t width, int32_t height) {
  const size_t w = static_cast<size_t>(width);
  const size_t cw = w / 2;
  const size_t h = static_cast<size_t>(height);
  uint8_t* yPlane = planar;
  uint8_t* uPlane = planar + w * h;
  uint8_t* vPlane = uPlane + cw * h;
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* row = yuy2 + y * w * 2;
    uint8_t* ys = yPlane + y * w;
    uint8_t* us = uPlane + y * cw;
    uint8_t* vs = vPlane + y * cw;
    for (size_t x = 0; x < cw; ++x) {
      ys[2 * x] = row[4 * x + 0];
      us[x] = row[4 * x + 1];
      ys[2 * x + 1] = row[4 * x + 2];
      vs[x] = row[4 * x + 3];
    }
  }
}

}  // namespace sorvan::cli
