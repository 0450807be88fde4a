// The lane arithmetic of the 8-bit and B-bit Gaussian on NEON, for NeonGaussianRows.
//
// - Vertical pass: V = Σ K[k]·S per column by widening multiply-accumulates of 16-bit lanes
//   into 32-bit ones (umlal by the tap's weight). Opposite rows share a weight and are added
//   first where their sum fits 16 bits: bytes always (a widening add), words in windows whose
//   words lie below 2^15; other words are multiplied row by row. V < 1024·2^16 = 2^26.
// - Horizontal pass: u = 512 + Σ K·V over the row of sums, multiply-accumulated in 32-bit
//   lanes where it stays below 2^30 (bytes, u < 2^28; words below 2^10, V < 2^20), with the
//   interior division as NeonDivision's multiply-high; in 64-bit lanes (umlal of 32-bit ones)
//   for wider words (u < 2^37), divided in double precision, where u is exact: the quotient
//   q + f (0 ≤ f ≤ 1 − 1/w, 1/w ≥ 2^−20, q < 2^17) comes out within 2^−35, so adding 2^−21
//   and truncating gives q. Edge rows: u >> 20.
// - In interior rows the centre column takes the vertical sum without the centre row, which
//   leaves out the centre sample's own share: K[m]·(V − K[m]·S) = K[m]·V − K[m]²·S.
#pragma once

#include "core/arm/neon_division.h"
#include "core/arm/neon_gaussian_rows.h"
#include "core/arm/neon_samples.h"
#include "core/simd/kernel_workspace.h"

namespace sorvan {
namespace {

// Rows of words by their widest word.
constexpr int32_t kWordsBelow2To10 = 0;  // the 32-bit horizontal pass
constexpr int32_t kWordsBelow2To15 = 1;  // opposite rows added in 16 bits
constexpr int32_t kAnyWords = 2;

// acc[0 … 1] (+)= the low and the high half of v times k's lanes.
[[gnu::always_inline]] inline void Multiply(uint32x4_t* acc, uint16x8_t v, uint16x8_t k) {
  acc[0] = vmull_u16(vget_low_u16(v), vget_low_u16(k));
  acc[1] = vmull_high_u16(v, k);
}
[[gnu::always_inline]] inline void MultiplyAccumulate(uint32x4_t* acc, uint16x8_t v, uint16x8_t k) {
  acc[0] = vmlal_u16(acc[0], vget_low_u16(v), vget_low_u16(k));
  acc[1] = vmlal_high_u16(acc[1], v, k);
}

// Each tap's weight K_d (d = 0 … M, by distance from the centre) in every lane, held in
// registers across a pass.
template <int32_t M, typename Vector, typename Weight>
[[gnu::always_inline]] inline void SpreadTaps(const Weight* k, Vector* w) {
  for (int32_t d = 0; d <= M; ++d) {
    if constexpr (sizeof(Weight) == 2) {
      w[d] = vdupq_n_u16(k[d]);
    } else {
      w[d] = vdupq_n_u32(k[d]);
    }
  }
}

// Stores a block of kHalves·8 columns' vertical sums: as they are (without the centre row)
// into `surround` for interior rows, then with K_0 times the centre row's lanes into `full`.
template <int32_t kHalves>
[[gnu::always_inline]] inline void StoreSums(uint32x4_t* acc, const uint16x8_t* centre, uint16x8_t k0, uint32_t* full,
                                             uint32_t* surround) {
  if (surround != nullptr) {
    for (int32_t i = 0; i < 2 * kHalves; ++i) vst1q_u32(surround + 4 * i, acc[i]);
  }
  for (int32_t h = 0; h < kHalves; ++h) MultiplyAccumulate(acc + 2 * h, centre[h], k0);
  for (int32_t i = 0; i < 2 * kHalves; ++i) vst1q_u32(full + 4 * i, acc[i]);
}

// The vertical sums of rows narrower than a vector.
template <int32_t M, typename T>
void ScalarVerticalSums(const T* const* r, const uint16_t* k, int32_t width, uint32_t* full, uint32_t* surround) {
  for (int32_t x = 0; x < width; ++x) {
    uint32_t sum = 0;
    for (int32_t d = 1; d <= M; ++d) sum += k[d] * (static_cast<uint32_t>(r[M - d][x]) + r[M + d][x]);
    if (surround != nullptr) surround[x] = sum;
    full[x] = sum + k[0] * static_cast<uint32_t>(r[M][x]);
  }
}

// Bytes, 16 columns a block: each pair of opposite rows widened and added, then two halves.
template <int32_t M>
void VerticalSums(const uint8_t* const* r, const uint16_t* taps, int32_t width, uint32_t* full, uint32_t* surround) {
  uint16x8_t k[M + 1];
  SpreadTaps<M>(taps, k);
  ForVectors(width, 16, [&](int32_t x) {
    auto pair = [&](int32_t d, uint16x8_t* halves) {
      const uint8x16_t up = vld1q_u8(r[M - d] + x);
      const uint8x16_t down = vld1q_u8(r[M + d] + x);
      halves[0] = vaddl_u8(vget_low_u8(up), vget_low_u8(down));
      halves[1] = vaddl_high_u8(up, down);
    };
    uint32x4_t acc[4];
    uint16x8_t halves[2];
    pair(1, halves);
    Multiply(acc, halves[0], k[1]);
    Multiply(acc + 2, halves[1], k[1]);
#pragma GCC unroll 8
    for (int32_t d = 2; d <= M; ++d) {
      pair(d, halves);
      MultiplyAccumulate(acc, halves[0], k[d]);
      MultiplyAccumulate(acc + 2, halves[1], k[d]);
    }
    const uint8x16_t c = vld1q_u8(r[M] + x);
    const uint16x8_t centre[2] = {vmovl_u8(vget_low_u8(c)), vmovl_high_u8(c)};
    StoreSums<2>(acc, centre, k[0], full + x, surround != nullptr ? surround + x : nullptr);
  });
}

// Words, 8 columns a block: opposite rows added in 16 bits (kAddPairs, words below 2^15) or
// each multiplied on its own.
template <int32_t M, bool kAddPairs>
void VerticalSums(const uint16_t* const* r, const uint16_t* taps, int32_t width, uint32_t* full, uint32_t* surround) {
  uint16x8_t k[M + 1];
  SpreadTaps<M>(taps, k);
  ForVectors(width, 8, [&](int32_t x) {
    uint32x4_t acc[2];
    auto add = [&](int32_t d) {
      const uint16x8_t up = vld1q_u16(r[M - d] + x);
      const uint16x8_t down = vld1q_u16(r[M + d] + x);
      if constexpr (kAddPairs) {
        if (d == 1) {
          Multiply(acc, vaddq_u16(up, down), k[d]);
        } else {
          MultiplyAccumulate(acc, vaddq_u16(up, down), k[d]);
        }
      } else {
        if (d == 1) {
          Multiply(acc, up, k[d]);
        } else {
          MultiplyAccumulate(acc, up, k[d]);
        }
        MultiplyAccumulate(acc, down, k[d]);
      }
    };
#pragma GCC unroll 8
    for (int32_t d = 1; d <= M; ++d) add(d);
    const uint16x8_t centre = vld1q_u16(r[M] + x);
    StoreSums<1>(acc, &centre, k[0], full + x, surround != nullptr ? surround + x : nullptr);
  });
}

// u = 512 + K_0·centre[c] + Σ_d K_d·(full[c − d] + full[c + d]) for the four columns c from
// x + C, in 32-bit lanes, then the floor division (interior rows) or >> 20 (edge rows).
template <int32_t M, bool kInterior, int32_t C, int32_t R>
[[gnu::always_inline]] inline uint32x4_t Average4(const SumWindow<uint32_t, R>& w, const uint32_t* centre,
                                                  const uint32x4_t* k, const NeonDivision& division) {
  uint32x4_t u = vmlaq_u32(vdupq_n_u32(512), vld1q_u32(centre + C), k[0]);
  ForTaps<M>([&]<int32_t D>() { u = vmlaq_u32(u, w.template Pair<C, D>(), k[D]); });
  if constexpr (kInterior) return division.Divide(u);
  return vshrq_n_u32(u, 20);
}

// The same in 64-bit lanes, for sums of any words (pairs below 2^27).
template <int32_t M, bool kInterior, int32_t C, int32_t R>
[[gnu::always_inline]] inline uint32x4_t WideAverage4(const SumWindow<uint32_t, R>& w, const uint32_t* centre,
                                                      const uint32x4_t* k, float64x2_t reciprocal) {
  const uint32x4_t c = vld1q_u32(centre + C);
  uint64x2_t low = vmlal_u32(vdupq_n_u64(512), vget_low_u32(c), vget_low_u32(k[0]));
  uint64x2_t high = vmlal_high_u32(vdupq_n_u64(512), c, k[0]);
  ForTaps<M>([&]<int32_t D>() {
    const uint32x4_t pair = w.template Pair<C, D>();
    low = vmlal_u32(low, vget_low_u32(pair), vget_low_u32(k[D]));
    high = vmlal_high_u32(high, pair, k[D]);
  });
  if constexpr (!kInterior) return vshrn_high_n_u64(vshrn_n_u64(low, 20), high, 20);
  const float64x2_t bias = vdupq_n_f64(1.0 / (1 << 21));
  auto quotient = [&](uint64x2_t v) { return vcvtq_u64_f64(vfmaq_f64(bias, vcvtq_f64_u64(v), reciprocal)); };
  return vmovn_high_u64(vmovn_u64(quotient(low)), quotient(high));
}

// The largest word of a row. The maximum may take a word twice, so the vectors may overlap;
// four of them a step where the row is wide enough.
uint16_t RowMaximum(const uint16_t* row, int32_t width) {
  if (width < 8) {
    uint16_t widest = 0;
    for (int32_t x = 0; x < width; ++x) widest = row[x] > widest ? row[x] : widest;
    return widest;
  }
  uint16x8_t lanes = vld1q_u16(row);
  if (width >= 32) {
    ForVectors(width, 32, [&](int32_t x) {
      const uint16x8x4_t v = vld1q_u16_x4(row + x);
      lanes = vmaxq_u16(vmaxq_u16(lanes, vmaxq_u16(v.val[0], v.val[1])), vmaxq_u16(v.val[2], v.val[3]));
    });
  } else {
    ForVectors(width, 8, [&](int32_t x) { lanes = vmaxq_u16(lanes, vld1q_u16(row + x)); });
  }
  return vmaxvq_u16(lanes);
}

// The 8-bit and B-bit Gaussian's rows, sums in 32 bits.
template <typename T>
class IntegerGaussianLanes {
 public:
  using Sample = T;

  IntegerGaussianLanes(const GaussianJob<T>& job, int32_t* workspace)
      : shape_(job.shape),
        buffers_(workspace, job.shape.width),
        division_(job.g.surroundWeight),
        reciprocal_(vdupq_n_f64(1.0 / static_cast<double>(job.g.surroundWeight))),
        limits_(NeonSamples<T>::MakeLimits(job.limits.positive, job.limits.negative)),
        merge_(job.limits.enabled) {
    const int32_t m = job.g.window / 2;
    for (int32_t d = 0; d <= m; ++d) {
      taps16_[d] = static_cast<uint16_t>(job.g.taps[m + d]);
      taps32_[d] = static_cast<uint32_t>(job.g.taps[m + d]);
    }
  }

  int32_t Class(const T* row) const {
    if constexpr (sizeof(T) == 1) {
      return 0;
    } else {
      const uint16_t widest = RowMaximum(row, shape_.width);
      return widest < (1 << 10) ? kWordsBelow2To10 : (widest < (1 << 15) ? kWordsBelow2To15 : kAnyWords);
    }
  }

  template <int32_t M>
  void Row(const T* const* rows, bool interior, int32_t widest, T* dstRow) const {
    uint32_t* centreless = interior ? buffers_.surround : nullptr;
    if (shape_.width < NeonSamples<T>::kLanes) {
      ScalarVerticalSums<M>(rows, taps16_, shape_.width, buffers_.full, centreless);
    } else if constexpr (sizeof(T) == 1) {
      VerticalSums<M>(rows, taps16_, shape_.width, buffers_.full, centreless);
    } else if (widest <= kWordsBelow2To15) {
      VerticalSums<M, true>(rows, taps16_, shape_.width, buffers_.full, centreless);
    } else {
      VerticalSums<M, false>(rows, taps16_, shape_.width, buffers_.full, centreless);
    }
    ReflectEnds(buffers_.full, shape_.width, M);
    const bool wide = widest > kWordsBelow2To10;
    if (interior) {
      wide ? Finish<M, true, true>(rows[M], dstRow) : Finish<M, true, false>(rows[M], dstRow);
    } else {
      wide ? Finish<M, false, true>(rows[M], dstRow) : Finish<M, false, false>(rows[M], dstRow);
    }
  }

 private:
  template <int32_t M, bool kInterior, bool kWide>
  void Finish(const T* srcRow, T* dstRow) const {
    // Locals, which stay in registers across the stores.
    const uint32_t* full = buffers_.full;
    const uint32_t* centre = kInterior ? buffers_.surround : buffers_.full;
    uint32x4_t k[M + 1];
    SpreadTaps<M>(taps32_, k);
    const NeonDivision division = division_;
    const float64x2_t reciprocal = reciprocal_;
    // The kLanes columns from x read full[x − 8 … x + kLanes + 7].
    constexpr int32_t kRegisters = NeonSamples<T>::kLanes / 4 + 4;
    auto words = [&]<int32_t C>(const SumWindow<uint32_t, kRegisters>& w, int32_t x) __attribute__((always_inline)) {
      auto average4 = [&]<int32_t kC>() __attribute__((always_inline)) {
        if constexpr (kWide) return WideAverage4<M, kInterior, kC>(w, centre + x, k, reciprocal);
        return Average4<M, kInterior, kC>(w, centre + x, k, division);
      };
      return vuzp1q_u16(vreinterpretq_u16_u32(average4.template operator()<C>()),
                        vreinterpretq_u16_u32(average4.template operator()<C + 4>()));
    };
    auto average = [&](int32_t x) __attribute__((always_inline)) {
      const SumWindow<uint32_t, kRegisters> w(full + x);
      if constexpr (sizeof(T) == 1) {
        return vuzp1q_u8(vreinterpretq_u8_u16(words.template operator()<0>(w, x)),
                         vreinterpretq_u8_u16(words.template operator()<8>(w, x)));
      } else {
        return words.template operator()<0>(w, x);
      }
    };
    WriteRow<T>(average, srcRow, dstRow, buffers_.rowOut, shape_, merge_ ? &limits_ : nullptr);
  }

  ChannelShape shape_;
  GaussianBuffers<uint32_t, T> buffers_;
  NeonDivision division_;
  float64x2_t reciprocal_;
  typename NeonSamples<T>::Limits limits_;
  bool merge_;
  uint16_t taps16_[kMaxRadius + 1];  // K by distance from the centre
  uint32_t taps32_[kMaxRadius + 1];
};

}  // namespace
}  // namespace sorvan
