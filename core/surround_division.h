// The interior division of the Gaussian average, d / surroundWeight, as a multiply-high.
//
// With r = ceil(2^48 / w) and e = r·w − 2^48 (0 ≤ e < w), d·r / 2^48 = d/w + d·e/(w·2^48).
// Writing d = q·w + t (0 ≤ t < w), the floor stays q as long as t + d·e/2^48 < w, which holds
// whenever d·e < 2^48. Every dividend is below 2^28 (512 + 255·2^20) and e < w ≤ 2^20, so the
// product is exact for every dividend the average can meet. r < 2^32 needs w > 2^16; the
// weights give w ≥ 833280. The product d·r stays below 2^60, so a 32×32→64 multiply serves.
#pragma once

#include "core/portability.h"

namespace sorvan {

inline constexpr int32_t kSurroundShift = 48;

// Whether the multiply-high is exact for this divisor (see above).
constexpr bool SurroundDivisorFits(int32_t surroundWeight) {
  return surroundWeight > (1 << 16) && surroundWeight <= (1 << 20);
}

constexpr uint32_t SurroundReciprocal(int32_t surroundWeight) {
  const uint64_t w = static_cast<uint64_t>(surroundWeight);
  return static_cast<uint32_t>(((uint64_t{1} << kSurroundShift) + w - 1) / w);
}

constexpr uint32_t DivideBySurround(uint32_t dividend, uint32_t reciprocal) {
  return static_cast<uint32_t>((static_cast<uint64_t>(dividend) * reciprocal) >> kSurroundShift);
}

}  // namespace sorvan
