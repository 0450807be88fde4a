// The NEON routines of each sample type, as the shared table of core/simd/fast_kernels.h takes
// them: the Gaussian's rows, the box, the limit merge and the packed copy. Included by
// kernels_neon.cpp after its `Isa`.
#pragma once

#include "core/arm/neon_float_gaussian.h"
#include "core/arm/neon_integer_gaussian.h"
#include "core/simd/box_outline.h"
#include "core/simd/fast_kernels.h"

namespace sorvan {
namespace {

constexpr size_t Larger(size_t a, size_t b) { return a > b ? a : b; }

// The integer merge and copy: plain rows a vector at a time, packed ones through NEON's
// interleaving loads and stores. Limits the filter never sets (negative) take the reference.
template <typename T>
void IntegerLimitMerge(Channel<T> out, Channel<const T> src, Channel<const T> smoothed, const ChannelShape& s,
                       const MergeLimits<T>& limits) {
  FusedLimits<T> clamped;
  if (!FuseLimits(limits, &clamped)) {
    LimitMerge<T>(out, src, smoothed, s, limits);
    return;
  }
  const typename NeonSamples<T>::Limits l = NeonSamples<T>::MakeLimits(clamped.positive, clamped.negative);
  switch (s.step) {
    case 1:
      for (int32_t y = 0; y < s.height; ++y) MergeRow(RowOf(out, y), RowOf(src, y), RowOf(smoothed, y), s.width, l);
      break;
    case 2: MergePacked<T, 2>(out, src, smoothed, s, l); break;
    case 3: MergePacked<T, 3>(out, src, smoothed, s, l); break;
    case 4: MergePacked<T, 4>(out, src, smoothed, s, l); break;
    default: LimitMerge<T>(out, src, smoothed, s, limits); break;
  }
}

template <typename T>
void IntegerCopyPacked(Channel<T> dst, Channel<const T> src, const ChannelShape& s) {
  switch (s.step) {
    case 2: CopyPacked<T, 2>(dst, src, s); break;
    case 3: CopyPacked<T, 3>(dst, src, s); break;
    case 4: CopyPacked<T, 4>(dst, src, s); break;
    default: CopyChannel<T>(dst, src, s); break;
  }
}

template <typename T>
struct NeonIntegerKernels {
  using Sample = T;

  static bool GaussianFits(const GaussianParams& g) { return IntegerGaussianFits(g); }
  template <int32_t M>
  static bool GaussianRows(const GaussianJob<T>& job, int32_t* workspace) {
    return NeonGaussianRows<M>(job, IntegerGaussianLanes<T>(job, workspace));
  }
  static bool BoxTakes(Channel<const T>, const ChannelShape&) { return true; }
  static void Box(Channel<T> dst, Channel<const T> src, const ChannelShape& s, int32_t window, int32_t* workspace) {
    IntegerBox<T>(dst, src, s, window, workspace);
  }
  static void LimitMerge(Channel<T> out, Channel<const T> src, Channel<const T> smoothed, const ChannelShape& s,
                         const MergeLimits<T>& limits) {
    IntegerLimitMerge<T>(out, src, smoothed, s, limits);
  }
  static void CopyPacked(Channel<T> dst, Channel<const T> src, const ChannelShape& s) {
    IntegerCopyPacked<T>(dst, src, s);
  }
  // The Gaussian's regions or the box's: its sums and prefixes, and three rows of samples,
  // which take one region of bytes, two of words.
  static size_t WorkspaceBytes(int32_t maxWidth) {
    return Larger(GaussianBuffers<uint32_t, T>::kRegions, 2 + sizeof(T)) * KernelWorkspaceRegion(maxWidth) *
           sizeof(int32_t);
  }
};

// The float box: running column sums in double over the reflected rows (all samples nominal,
// so they drift by far less than 2^−30), each window then summed directly.
struct FloatBoxRows {
  using Sum = double;
  int32_t radius;
  double inverseArea;

  void AddRows(double* sums, const float* add, const float* drop, int32_t width) const {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
      const float32x4_t a = vld1q_f32(add + x);
      float64x2_t low = vaddq_f64(vld1q_f64(sums + x), Low(a));
      float64x2_t high = vaddq_f64(vld1q_f64(sums + x + 2), High(a));
      if (drop != nullptr) {
        const float32x4_t d = vld1q_f32(drop + x);
        low = vsubq_f64(low, Low(d));
        high = vsubq_f64(high, High(d));
      }
      vst1q_f64(sums + x, low);
      vst1q_f64(sums + x + 2, high);
    }
    for (; x < width; ++x) sums[x] = sums[x] + add[x] - (drop != nullptr ? static_cast<double>(drop[x]) : 0.0);
  }

  void FinishRow(const double* sums, const RowOutput<float>& out) const {
    for (int32_t x = 0; x < out.width; x += 4) {
      float64x2_t low = vld1q_f64(sums + x - radius);
      float64x2_t high = vld1q_f64(sums + x + 2 - radius);
      for (int32_t k = 1 - radius; k <= radius; ++k) {
        low = vaddq_f64(low, vld1q_f64(sums + x + k));
        high = vaddq_f64(high, vld1q_f64(sums + x + 2 + k));
      }
      vst1q_f32(out.Block(x, 4),
                vcvt_high_f32_f64(vcvt_f32_f64(vmulq_n_f64(low, inverseArea)), vmulq_n_f64(high, inverseArea)));
    }
    out.Finish(4);
  }
};

struct NeonFloatKernels {
  using Sample = float;

  static bool GaussianFits(const GaussianParams& g) { return GaussianSeparates(g) && g.surroundWeight > 0; }
  template <int32_t M>
  static bool GaussianRows(const GaussianJob<float>& job, int32_t* workspace) {
    return NeonGaussianRows<M>(job, FloatGaussianLanes(job, workspace));
  }
  static bool BoxTakes(Channel<const float> src, const ChannelShape& s) {
    return ChannelIsNominal(src, s, RowIsNominal);
  }
  static void Box(Channel<float> dst, Channel<const float> src, const ChannelShape& s, int32_t window,
                  int32_t* workspace) {
    FloatBox(dst, src, s, window, workspace, FloatBoxRows{window / 2, 1.0 / (static_cast<double>(window) * window)});
  }
  static void LimitMerge(Channel<float> out, Channel<const float> src, Channel<const float> smoothed,
                         const ChannelShape& s, const MergeLimits<float>& limits) {
    if (s.step != 1) {
      sorvan::LimitMerge<float>(out, src, smoothed, s, limits);
      return;
    }
    const NeonSamples<float>::Limits l = NeonSamples<float>::MakeLimits(limits.positive, limits.negative);
    for (int32_t y = 0; y < s.height; ++y) MergeRow(RowOf(out, y), RowOf(src, y), RowOf(smoothed, y), s.width, l);
  }
  static void CopyPacked(Channel<float> dst, Channel<const float> src, const ChannelShape& s) {
    CopyChannel<float>(dst, src, s);
  }
  static size_t WorkspaceBytes(int32_t maxWidth) {
    return Larger(GaussianBuffers<double, float>::kRegions, kFloatBoxRegions) * KernelWorkspaceRegion(maxWidth) *
           sizeof(double);
  }
};

}  // namespace
}  // namespace sorvan
