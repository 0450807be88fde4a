// Reference Gaussian surround average: two literal passes, rows into the scratch plane and
// then columns into the destination. Every faster version is tested against this one.
#include "tests/support/eight_bit_reference.h"

#include "core/mirror.h"
#include "tests/support/strided_address.h"

namespace sorvan::testing::eight_bit {
namespace {

int32_t RowSum(const uint8_t* srcRow, int32_t width, int32_t step, const int32_t* weights, int32_t window, int32_t x,
               bool mirrored) {
  const int32_t m = window / 2;
  int32_t sum = 0;
  for (int32_t k = 0; k < window; ++k) {
    const int32_t column = mirrored ? Mirror(x - m + k, width) : x - m + k;
    sum += weights[k] * srcRow[static_cast<ptrdiff_t>(column) * step];
  }
  return sum;
}

int32_t ColumnSum(const int32_t* scratch, int32_t height, int32_t width, const int32_t* weights, int32_t window,
                  int32_t y, int32_t x, bool mirrored) {
  const int32_t m = window / 2;
  int32_t sum = 0;
  for (int32_t k = 0; k < window; ++k) {
    const int32_t row = mirrored ? Mirror(y - m + k, height) : y - m + k;
    sum += weights[k] * scratch[static_cast<ptrdiff_t>(row) * width + x];
  }
  return sum;
}

}  // namespace

void GaussianSurroundAverage(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t* scratch,
                             int32_t height, int32_t width, int32_t step, const int32_t* weights, int32_t window,
                             int32_t shift, int32_t surroundWeight, int32_t centreWeightSq) {
  const int32_t m = window / 2;

  // First pass: every row, edge columns (mirrored) in pairs, then the middle.
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* srcRow = At(src, srcPitch, y, 0, step);
    int32_t* row = scratch + static_cast<ptrdiff_t>(y) * width;
    for (int32_t i = 0; i < m; ++i) {
      row[i] = RowSum(srcRow, width, step, weights, window, i, true);
      row[width - 1 - i] = RowSum(srcRow, width, step, weights, window, width - 1 - i, true);
    }
    for (int32_t x = m; x < width - m; ++x) row[x] = RowSum(srcRow, width, step, weights, window, x, false);
  }

  // Second pass: every column. Edge rows keep the sample itself; interior rows take its
  // own share off and divide by the weight of everything else.
  const int32_t rounding = 1 << (shift - 1);
  const int32_t finalShift = 2 * shift;
  for (int32_t x = 0; x < width; ++x) {
    for (int32_t i = 0; i < m; ++i) {
      const int32_t edgeRows[2] = {i, height - 1 - i};
      for (const int32_t y : edgeRows) {
        const int32_t s = rounding + ColumnSum(scratch, height, width, weights, window, y, x, true);
        *At(dst, dstPitch, y, x, step) = static_cast<uint8_t>(s >> finalShift);
      }
    }
    for (int32_t y = m; y < height - m; ++y) {
      const int32_t u = rounding + ColumnSum(scratch, height, width, weights, window, y, x, false);
      const int32_t d = u - centreWeightSq * *At(src, srcPitch, y, x, step);
      *At(dst, dstPitch, y, x, step) = static_cast<uint8_t>(d / surroundWeight);
    }
  }
}

}  // namespace sorvan::testing::eight_bit
