#include "cli/sample_clip.h"

#include <cstring>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sorvan::cli {
namespace {

// splitmix64: a small, well-mixed generator, so the noise has no visible pattern.
uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint8_t Clamp8(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

struct Colour {
  int y, u, v;
};

}  // namespace

std::vector<uint8_t> MakeSampleFrame(int32_t width, int32_t height, int32_t frameIndex) {
  const int32_t cw = width / 2;
  const int32_t ch = height / 2;
  const size_t lumaBytes = static_cast<size_t>(width) * height;
  const size_t chromaBytes = static_cast<size_t>(cw) * ch;
  std::vector<uint8_t> frame(lumaBytes + 2 * chromaBytes);
  uint8_t* yPlane = frame.data();
  uint8_t* uPlane = yPlane + lumaBytes;
  uint8_t* vPlane = uPlane + chromaBytes;

  // Shapes in luma-sample coordinates; the disc crosses the frame left to right, the rectangle
  // bounces diagonally, one step per frame.
  const double t = frameIndex;
  const double discX = std::fmod(t * 4.0, width + 160.0) - 80.0;
  const double discY = height * 0.5 + height * 0.2 * std::sin(t * 0.05);
  const double discR = std::min(width, height) * 0.18;
  const auto bounce = [](double pos, double span) {
    const double m = std::fmod(pos, 2.0 * span);
    return m < span ? m : 2.0 * span - m;
  };
  const double rectW = width * 0.22;
  const double rectH = height * 0.25;
  const double rectX = bounce(t * 3.0, width - rectW);
  const double rectY = bounce(t * 2.0, height - rectH);
  const Colour disc{170, 80, 190};
  const Colour rect{90, 180, 100};

  const auto shapeAt = [&](double x, double y, const Colour& background) {
    if (x >= rectX && x < rectX + rectW && y >= rectY && y < rectY + rectH) return rect;
    const double dx = x - discX;
    const double dy = y - discY;
    if (dx * dx + dy * dy <= discR * discR) return disc;
    return background;
  };

  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const Colour bg{60 + (120 * x) / std::max(1, width - 1), 128, 128};
      yPlane[static_cast<size_t>(y) * width + x] = Clamp8(shapeAt(x + 0.5, y + 0.5, bg).y);
    }
  }
  uint64_t state = 0x5EED0000ull + static_cast<uint64_t>(frameIndex);
  for (int32_t y = 0; y < ch; ++y) {
    for (int32_t x = 0; x < cw; ++x) {
      // Chroma background: a slow diagonal tint, so smoothing has real gradients to keep.
      const Colour bg{0, 110 + (40 * x) / std::max(1, cw - 1), 150 - (40 * y) / std::max(1, ch - 1)};
      const Colour c = shapeAt(2.0 * x + 1.0, 2.0 * y + 1.0, bg);
      const uint64_t r = NextRandom(state);
      const int noiseU = static_cast<int>(r % 7) - 3;
      const int noiseV = static_cast<int>((r >> 8) % 7) - 3;
      const size_t i = static_cast<size_t>(y) * cw + x;
      uPlane[i] = Clamp8(c.u + noiseU);
      vPlane[i] = Clamp8(c.v + noiseV);
    }
  }
  return frame;
}

std::vector<uint8_t> DeepenFrame(const std::vector<uint8_t>& frame, int32_t bits) {
  std::vector<uint8_t> deep(frame.size() * 2);
  for (size_t i = 0; i < frame.size(); ++i) {
    const uint16_t word = static_cast<uint16_t>(frame[i] << (bits - 8));
    std::memcpy(deep.data() + 2 * i, &word, sizeof word);
  }
  return deep;
}

double ChromaRoughness(const FrameFormat& format, const uint8_t* frame) {
  const int32_t bytes = BytesPerSample(format.video);
  const double scale = 1.0 / static_cast<double>(1 << (format.video.bitsPerSample - 8));
  const auto planes = FramePlanes(format);
  const auto sample = [&](const PlaneSpan& p, int32_t x, int32_t y) -> int {
    const uint8_t* at = frame + p.offset + static_cast<size_t>(y) * p.rowBytes + static_cast<size_t>(x) * bytes;
    if (bytes == 1) return *at;
    uint16_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
  };
  uint64_t sum = 0;
  uint64_t count = 0;
  for (const int32_t c : {1, 2}) {
    const PlaneSpan& p = planes[format.video.channels[c].plane];
    for (int32_t y = 0; y < p.height; ++y) {
      for (int32_t x = 0; x < p.width; ++x) {
        const int s = sample(p, x, y);
        if (x + 1 < p.width) {
          sum += std::abs(s - sample(p, x + 1, y));
          ++count;
        }
        if (y + 1 < p.height) {
          sum += std::abs(s - sample(p, x, y + 1));
          ++count;
        }
      }
    }
  }
  return count == 0 ? 0.0 : scale * static_cast<double>(sum) / static_cast<double>(count);
}

}  // namespace sorvan::cli
