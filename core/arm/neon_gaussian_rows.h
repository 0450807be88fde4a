// The Gaussian's row loop on NEON, the same for every sample type. The full weighted sum is the
// same whichever pass runs first, and reflection commutes between rows and columns, so each
// output row sums the window's rows (the mirrored ones are just row pointers) vertically into
// a row of sums, which the sample type's `Lanes` reflect, sum horizontally, divide, merge and
// store:
//   using Sample;
//   int32_t Class(const Sample* row) const;  how wide the row's samples are as it enters the
//       window (the widest in the window chooses the passes); < 0 for a row the path does not
//       take, which leaves the rest to the reference
//   template <int32_t M> void Row(const Sample* const* rows, bool interior, int32_t widest,
//                                 Sample* dstRow) const;  rows[M] is the output row's own
#pragma once

#include "core/portability.h"
#include "core/simd/kernel_workspace.h"
#include "core/simd/window_rows.h"

namespace sorvan {
namespace {

// A Lanes' rows in the workspace, in regions of Sum (KernelWorkspaceRegion(width) entries
// each): the full vertical sums, with 16 entries ahead for the reflected left end; the sums
// without the centre row; the finished row of samples.
template <typename Sum, typename T>
struct GaussianBuffers {
  static constexpr size_t kRegions = 3;
  Sum* full;
  Sum* surround;
  T* rowOut;

  GaussianBuffers(int32_t* workspace, int32_t width)
      : full(reinterpret_cast<Sum*>(workspace) + 16),
        surround(reinterpret_cast<Sum*>(workspace) + KernelWorkspaceRegion(width)),
        rowOut(reinterpret_cast<T*>(reinterpret_cast<Sum*>(workspace) + 2 * KernelWorkspaceRegion(width))) {}
};

// A row of sums in vectors: 32-bit integers or doubles.
template <typename Sum>
struct SumVectors;
template <>
struct SumVectors<uint32_t> {
  using V = uint32x4_t;
  static constexpr int32_t kLanes = 4;
  static V Load(const uint32_t* p) { return vld1q_u32(p); }
  static V Add(V a, V b) { return vaddq_u32(a, b); }
  template <int32_t N>
  static V Extract(V a, V b) {
    return vextq_u32(a, b, N);
  }
};
template <>
struct SumVectors<double> {
  using V = float64x2_t;
  static constexpr int32_t kLanes = 2;
  static V Load(const double* p) { return vld1q_f64(p); }
  static V Add(V a, V b) { return vaddq_f64(a, b); }
  template <int32_t N>
  static V Extract(V a, V b) {
    return vextq_f64(a, b, N);
  }
};

// The row of sums around a block of columns from x: full[x − 8 …] in kRegisters registers, so
// that every window of the block's taps is one register or NEON's ext of two neighbours rather
// than a load of its own.
template <typename Sum, int32_t kRegisters>
struct SumWindow {
  using S = SumVectors<Sum>;
  typename S::V v[kRegisters];

  [[gnu::always_inline]] explicit SumWindow(const Sum* full) {
    for (int32_t i = 0; i < kRegisters; ++i) v[i] = S::Load(full - 8 + S::kLanes * i);
  }
  // full[x + O …], one vector.
  template <int32_t O>
  [[gnu::always_inline]] typename S::V At() const {
    constexpr int32_t kIndex = (O + 8) / S::kLanes;
    constexpr int32_t kShift = (O + 8) % S::kLanes;
    static_assert(O >= -8 && kIndex + (kShift != 0) < kRegisters, "a tap beyond the window");
    if constexpr (kShift == 0) return v[kIndex];
    return S::template Extract<kShift>(v[kIndex], v[kIndex + 1]);
  }
  // full[c − D] + full[c + D] for the vector's columns c from x + C.
  template <int32_t C, int32_t D>
  [[gnu::always_inline]] typename S::V Pair() const {
    return S::Add(At<C - D>(), At<C + D>());
  }
};

// f.template operator()<D>() for D = 1 … M, the tap's distance as a constant.
template <int32_t M, int32_t D = 1, typename F>
[[gnu::always_inline]] inline void ForTaps(F&& f) {
  if constexpr (D <= M) {
    f.template operator()<D>();
    ForTaps<M, D + 1>(f);
  }
}

template <int32_t M, typename Lanes>
bool NeonGaussianRows(const GaussianJob<typename Lanes::Sample>& job, const Lanes& lanes) {
  using T = typename Lanes::Sample;
  return ForEachWindow<M>(
      job.plane, job.shape.height, [&](const T* row) { return lanes.Class(row); },
      [&](const T* const* rows, bool interior, int32_t widest, int32_t y) {
        lanes.template Row<M>(rows, interior, widest, RowOf(job.dst, y));
      });
}

}  // namespace
}  // namespace sorvan
