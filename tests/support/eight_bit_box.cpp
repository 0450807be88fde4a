// Reference box average: border bands summed directly with reflection, the interior by a
// running sum along each row that starts afresh from the offset table.
#include "tests/support/eight_bit_reference.h"

#include "core/mirror.h"
#include "tests/support/strided_address.h"

namespace sorvan::testing::eight_bit {
namespace {

constexpr int32_t kUnit = 1 << 20;

int32_t ReflectedWindowSum(const uint8_t* src, int32_t srcPitch, int32_t height, int32_t width, int32_t step,
                           int32_t radius, int32_t y, int32_t x) {
  int32_t sum = 0;
  for (int32_t dy = -radius; dy <= radius; ++dy) {
    const int32_t row = Mirror(y + dy, height);
    for (int32_t dx = -radius; dx <= radius; ++dx) sum += *At(src, srcPitch, row, Mirror(x + dx, width), step);
  }
  return sum;
}

}  // namespace

void BoxAverage(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height, int32_t width,
                int32_t step, int32_t window, int32_t* boxOffsets) {
  const int32_t radius = window / 2;
  // Truncated, so a flat area of v comes out as v − 1: the filter has always done so.
  const int32_t scale = kUnit / (window * window);
  auto store = [&](int32_t y, int32_t x, int32_t sum) {
    *At(dst, dstPitch, y, x, step) = static_cast<uint8_t>((sum * scale) >> 20);
  };
  auto storeReflected = [&](int32_t y, int32_t x) {
    store(y, x, ReflectedWindowSum(src, srcPitch, height, width, step, radius, y, x));
  };

  // Left and right bands, then top and bottom bands, each radius + 1 samples deep.
  for (int32_t y = 0; y <= height - 1 - radius; ++y) {
    for (int32_t i = 0; i <= radius; ++i) {
      storeReflected(y, i);
      storeReflected(y, width - 1 - i);
    }
  }
  for (int32_t x = 0; x < width; ++x) {
    for (int32_t i = 0; i <= radius; ++i) {
      storeReflected(i, x);
      storeReflected(height - 1 - i, x);
    }
  }

  // Byte offsets of the square's samples from its top-left one, for this channel's layout.
  for (int32_t a = 0; a < window; ++a) {
    for (int32_t b = 0; b < window; ++b) boxOffsets[a * window + b] = a * srcPitch + b * step;
  }

  // Interior: each row's first square through the table, then one column in and one out.
  for (int32_t y = 0; y <= height - 1 - window; ++y) {
    const uint8_t* corner = At(src, srcPitch, y, 0, step);
    int32_t sum = 0;
    for (int32_t t = 0; t < window * window; ++t) sum += corner[boxOffsets[t]];
    store(y + radius, radius, sum);
    for (int32_t k = 0; k <= width - window - 2; ++k) {
      for (int32_t r = y; r < y + window; ++r) {
        sum += *At(src, srcPitch, r, k + window, step);
        sum -= *At(src, srcPitch, r, k, step);
      }
      store(y + radius, k + 1 + radius, sum);
    }
  }
}

}  // namespace sorvan::testing::eight_bit
