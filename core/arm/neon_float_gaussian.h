// The lane arithmetic of the float Gaussian on NEON, for NeonGaussianRows: both passes sum in
// double precision (samples widened with fcvtl, fused multiply-adds by the tap's weight),
// vertical pass first like the integer paths; only the order of the additions differs from the
// reference's, and the interior division is a multiplication by 1/w.
//
// Why that stays within 2^−20 of the reference: every average is a weighted mean of samples
// with weights summing to one, so |a| ≤ max |S|. With all |S| < 16, the two double sums differ
// by far less than 2^−40, and the one rounding to float can then differ by at most one unit in
// the last place of a, which is at most 2^−20 below 16. So a row with a sample that is NaN,
// infinite or of magnitude 16 or more leaves the whole channel to the reference (Class).
#pragma once

#include "core/arm/neon_gaussian_rows.h"
#include "core/arm/neon_samples.h"
#include "core/simd/kernel_workspace.h"
#include "core/simd/nominal_floats.h"

namespace sorvan {
namespace {

// Whether every sample of the row is finite with magnitude below kNominalBound (false for NaN):
// an absolute compare, vectors overlapping where they must, four a step where the row allows.
bool RowIsNominal(const float* row, int32_t width) {
  if (width < 4) {
    for (int32_t x = 0; x < width; ++x) {
      if (!SampleIsNominal(row[x])) return false;
    }
    return true;
  }
  const float32x4_t bound = vdupq_n_f32(kNominalBound);
  uint32x4_t below = vcaltq_f32(vld1q_f32(row), bound);
  if (width >= 16) {
    ForVectors(width, 16, [&](int32_t x) {
      const float32x4x4_t v = vld1q_f32_x4(row + x);
      below = vandq_u32(below, vandq_u32(vcaltq_f32(v.val[0], bound), vcaltq_f32(v.val[1], bound)));
      below = vandq_u32(below, vandq_u32(vcaltq_f32(v.val[2], bound), vcaltq_f32(v.val[3], bound)));
    });
  } else {
    ForVectors(width, 4, [&](int32_t x) { below = vandq_u32(below, vcaltq_f32(vld1q_f32(row + x), bound)); });
  }
  return vminvq_u32(below) != 0;
}

// The low and the high two of four floats, widened.
[[gnu::always_inline]] inline float64x2_t Low(float32x4_t v) { return vcvt_f64_f32(vget_low_f32(v)); }
[[gnu::always_inline]] inline float64x2_t High(float32x4_t v) { return vcvt_high_f64_f32(v); }

// full[x] = Σ_k K[k]·row_k[x], four columns a block; surround[x] the same without row M.
template <int32_t M>
void VerticalSums(const float* const* r, const double* k, int32_t width, double* full, double* surround) {
  if (width < 4) {
    for (int32_t x = 0; x < width; ++x) {
      double sum = 0.0;
      for (int32_t d = 1; d <= M; ++d) sum += (static_cast<double>(r[M - d][x]) + r[M + d][x]) * k[d];
      if (surround != nullptr) surround[x] = sum;
      full[x] = static_cast<double>(r[M][x]) * k[0] + sum;
    }
    return;
  }
  ForVectors(width, 4, [&](int32_t x) {
    float64x2_t low = vdupq_n_f64(0.0);
    float64x2_t high = low;
#pragma GCC unroll 8
    for (int32_t d = 1; d <= M; ++d) {
      const float32x4_t up = vld1q_f32(r[M - d] + x);
      const float32x4_t down = vld1q_f32(r[M + d] + x);
      low = vfmaq_n_f64(low, vaddq_f64(Low(up), Low(down)), k[d]);
      high = vfmaq_n_f64(high, vaddq_f64(High(up), High(down)), k[d]);
    }
    if (surround != nullptr) {
      vst1q_f64(surround + x, low);
      vst1q_f64(surround + x + 2, high);
    }
    const float32x4_t centre = vld1q_f32(r[M] + x);
    vst1q_f64(full + x, vfmaq_n_f64(low, Low(centre), k[0]));
    vst1q_f64(full + x + 2, vfmaq_n_f64(high, High(centre), k[0]));
  });
}

// (K_0·centre[c] + Σ_d K_d·(full[c − d] + full[c + d]))·scale for the two columns c from x + C.
template <int32_t M, int32_t C, int32_t R>
[[gnu::always_inline]] inline float64x2_t Average2(const SumWindow<double, R>& w, const double* centre,
                                                   const float64x2_t* k, float64x2_t scale) {
  float64x2_t sum = vmulq_f64(vld1q_f64(centre + C), k[0]);
  ForTaps<M>([&]<int32_t D>() { sum = vfmaq_f64(sum, w.template Pair<C, D>(), k[D]); });
  return vmulq_f64(sum, scale);
}

// The float Gaussian's rows, sums in double.
class FloatGaussianLanes {
 public:
  using Sample = float;

  FloatGaussianLanes(const GaussianJob<float>& job, int32_t* workspace)
      : shape_(job.shape),
        buffers_(workspace, job.shape.width),
        interiorScale_(1.0 / static_cast<double>(job.g.surroundWeight)),
        limits_(NeonSamples<float>::MakeLimits(job.limits.positive, job.limits.negative)),
        merge_(job.limits.enabled) {
    const int32_t m = job.g.window / 2;
    for (int32_t d = 0; d <= m; ++d) taps_[d] = static_cast<double>(job.g.taps[m + d]);
  }

  int32_t Class(const float* row) const { return RowIsNominal(row, shape_.width) ? 0 : -1; }

  template <int32_t M>
  void Row(const float* const* rows, bool interior, int32_t, float* dstRow) const {
    VerticalSums<M>(rows, taps_, shape_.width, buffers_.full, interior ? buffers_.surround : nullptr);
    ReflectEnds(buffers_.full, shape_.width, M);
    const double* centre = interior ? buffers_.surround : buffers_.full;
    // Locals, which stay in registers across the stores; the four columns from x read
    // full[x − 8 … x + 11].
    const double* full = buffers_.full;
    const float64x2_t scale = vdupq_n_f64(interior ? interiorScale_ : 1.0 / (1 << 20));
    float64x2_t k[M + 1];
    for (int32_t d = 0; d <= M; ++d) k[d] = vdupq_n_f64(taps_[d]);
    auto average = [&](int32_t x) __attribute__((always_inline)) {
      const SumWindow<double, 10> w(full + x);
      return vcvt_high_f32_f64(vcvt_f32_f64(Average2<M, 0>(w, centre + x, k, scale)),
                               Average2<M, 2>(w, centre + x, k, scale));
    };
    WriteRow<float>(average, rows[M], dstRow, buffers_.rowOut, shape_, merge_ ? &limits_ : nullptr);
  }

 private:
  ChannelShape shape_;
  GaussianBuffers<double, float> buffers_;
  double interiorScale_;
  NeonSamples<float>::Limits limits_;
  bool merge_;
  double taps_[kMaxRadius + 1];  // K by distance from the centre
};

}  // namespace
}  // namespace sorvan
