// The Gaussian's interior division ⌊u / w⌋ by the surround weight w (2^16 < w ≤ 2^20), for
// dividends u < 2^30, as NEON's doubling multiply-high and one shift.
//
// With L = ⌈log2 w⌉, S = 30 + L and r = ⌈2^S / w⌉: 2^(L−1) < w ≤ 2^L puts 2^S / w in
// [2^30, 2^31), and r < 2^31 (r = 2^31 would need w < 2^(L−1) + 1), so r is a positive int32.
// sqdmulh gives ⌊2·u·r / 2^32⌋ = ⌊u·r / 2^31⌋ and the shift right by S − 31 then ⌊u·r / 2^S⌋.
// That is ⌊u / w⌋: with e = r·w − 2^S (0 ≤ e < w ≤ 2^L) and u = q·w + t (0 ≤ t < w),
// u·r / 2^S = q + (t + u·e / 2^S) / w, and u·e < 2^30·2^L = 2^S, so the fraction stays below
// one. 8-bit sums (u < 2^28) and B-bit sums of words below 2^10 (u < 2^30) both qualify.
#pragma once

#include "core/portability.h"

namespace sorvan {
namespace {

struct NeonDivision {
  static constexpr int32_t kDividendBits = 30;

  int32x4_t reciprocal;  // r in every lane
  int32x4_t shift;       // −(S − 31): a negative count shifts right

  explicit NeonDivision(int32_t w) {
    int32_t l = 0;
    while ((int64_t{1} << l) < w) ++l;
    const int32_t s = kDividendBits + l;
    const uint64_t r = ((uint64_t{1} << s) + static_cast<uint64_t>(w) - 1) / static_cast<uint64_t>(w);
    reciprocal = vdupq_n_s32(static_cast<int32_t>(r));
    shift = vdupq_n_s32(31 - s);
  }

  uint32x4_t Divide(uint32x4_t u) const {
    return vshlq_u32(vreinterpretq_u32_s32(vqdmulhq_s32(vreinterpretq_s32_u32(u), reciprocal)), shift);
  }
};

}  // namespace
}  // namespace sorvan
