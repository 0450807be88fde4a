// A sample type's fast table, the same for every sample type and instruction set: the fallbacks
// to the reference, the fused and the separate merge, the radius switch and the plain copy,
// around the sample type's own routines, which `K` gives:
//   using Sample;
//   static bool GaussianFits(const GaussianParams& g);  whether GaussianRows reproduces g
//   template <int32_t M> static bool GaussianRows(const GaussianJob<Sample>& job, int32_t* workspace);
//       the Gaussian (and the fused merge) at radius M; false, with dst partly written, for a
//       channel it does not take
//   static bool BoxTakes(Channel<const Sample> src, const ChannelShape& s);
//   static void Box(Channel<Sample> dst, Channel<const Sample> src, const ChannelShape& s,
//                   int32_t window, int32_t* workspace);  an odd window within kMaxWindow
//   static void LimitMerge(…), as SampleKernels::limitMerge;
//   static void CopyPacked(…), as SampleKernels::copy, for steps above 1;
//   static size_t WorkspaceBytes(int32_t maxWidth).
// Included after the translation unit's `Isa`.
#pragma once

#include "core/kernels/reference_kernels.h"
#include "core/simd/packed_rows.h"

namespace sorvan {
namespace {

template <typename K>
struct FastKernels {
  using T = typename K::Sample;
  using RowSum = typename SampleTraits<T>::RowSum;

  static bool RunGaussian(Channel<T> dst, Channel<const T> src, const ChannelShape& s, const GaussianParams& g,
                          const FusedLimits<T>& limits, const ScratchBlock& scratch) {
    // A packed channel is gathered into the row-sum plane, which has room for it.
    const GaussianJob<T> job = {ContiguousChannel(src, s, scratch.Plane<T>()), dst, s, g, limits};
    int32_t* workspace = scratch.Workspace();
    return WithRadius(g.window / 2, [&]<int32_t M>() { return K::template GaussianRows<M>(job, workspace); });
  }

  static void Gaussian(Channel<T> dst, Channel<const T> src, const ChannelShape& s, const GaussianParams& g,
                       const ScratchBlock& scratch) {
    if (K::GaussianFits(g) && RunGaussian(dst, src, s, g, {false, 0, 0}, scratch)) return;
    GaussianSurroundAverage<T>(dst, src, s, g, scratch.Plane<RowSum>());
  }

  static void GaussianMerge(Channel<T> dst, Channel<const T> src, const ChannelShape& s, const GaussianParams& g,
                            const MergeLimits<T>& limits, const ScratchBlock& scratch) {
    FusedLimits<T> fused;
    if (K::GaussianFits(g) && FuseLimits(limits, &fused)) {
      if (RunGaussian(dst, src, s, g, fused, scratch)) return;
      GaussianSurroundAverage<T>(dst, src, s, g, scratch.Plane<RowSum>());
    } else {
      Gaussian(dst, src, s, g, scratch);
    }
    K::LimitMerge(dst, src, {dst.base, dst.pitch}, s, limits);
  }

  static void Box(Channel<T> dst, Channel<const T> src, const ChannelShape& s, int32_t window,
                  const ScratchBlock& scratch) {
    if (!BoxWindowFits(window) || !K::BoxTakes(src, s)) {
      BoxAverage<T>(dst, src, s, window, scratch.BoxOffsets());
      return;
    }
    K::Box(dst, src, s, window, scratch.Workspace());
  }

  static void Copy(Channel<T> dst, Channel<const T> src, const ChannelShape& s) {
    if (s.width <= 0 || s.height <= 0) return;
    if (s.step != 1) {
      K::CopyPacked(dst, src, s);
      return;
    }
    for (int32_t y = 0; y < s.height; ++y) {
      memcpy(RowOf(dst, y), RowOf(src, y), static_cast<size_t>(s.width) * sizeof(T));
    }
  }

  static constexpr SampleKernels<T> Table(const char* name) {
    return {name, &Gaussian, &Box, &K::LimitMerge, &Copy, &GaussianMerge, &K::WorkspaceBytes};
  }
};

}  // namespace
}  // namespace sorvan
