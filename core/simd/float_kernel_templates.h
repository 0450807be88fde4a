// The fast paths for 32-bit float samples, over an `Isa` with vectors of doubles. They sum in
// double precision, vertical pass first, like the integer paths; only the order of the
// additions differs from the reference's.
//
// Why that stays within 2^−20 of the reference: every average is a weighted mean of samples
// with weights summing to one, so |a| ≤ max |S|. With all |S| < 16, the two double sums differ
// by far less than 2^−40, and the one rounding to float can then differ by at most one unit in
// the last place of a, which is at most 2^−20 below 16. So any sample that is NaN, infinite or
// of magnitude 16 or more sends the whole channel to the reference (which is also what keeps
// NaN and infinity from running through the running box sums to samples far away): the box
// checks the channel first, the Gaussian each row as it enters the window.
#pragma once

#include "core/simd/box_outline.h"
#include "core/simd/fast_kernels.h"
#include "core/simd/vector_operations.h"

namespace sorvan {
namespace {
namespace floats {

static_assert(FloatOperations<Isa>, "Isa lacks operations the float paths use");

using D = Isa::D;

constexpr float kNominalBound = 16.0f;
constexpr double kUnitScale = 1.0 / static_cast<double>(1 << 20);

// Regions of doubles, each KernelWorkspaceRegion(width) entries long: full and surround sums
// for two output rows, and the finished row.
size_t Region(int32_t width) { return KernelWorkspaceRegion(width); }

bool SampleIsNominal(float v) { return v > -kNominalBound && v < kNominalBound; }  // false for NaN

bool ChannelIsNominal(Channel<const float> src, const ChannelShape& s) {
  for (int32_t y = 0; y < s.height; ++y) {
    const float* row = RowOf(src, y);
    int32_t x = 0;
    if (s.step == 1) {
      for (; x + Isa::kFloatLanes <= s.width; x += Isa::kFloatLanes) {
        if (!Isa::FloatsBelow(row + x, kNominalBound)) return false;
      }
    }
    for (; x < s.width; ++x) {
      if (!SampleIsNominal(row[static_cast<ptrdiff_t>(x) * s.step])) return false;
    }
  }
  return true;
}

// out[x] = src[x] where s − a > positive or s − a < −negative (in double, as the reference
// compares), else smoothed[x] when fromSmoothed, out[x] as it is otherwise; out may be smoothed
// itself. Contiguous rows.
void MergeRow(float* out, const float* src, const float* smoothed, int32_t width, double positive, double negative,
              bool fromSmoothed = false) {
  const D vp = Isa::SetD(positive);
  const D vn = Isa::SetD(-negative);
  const bool keepSmoothed = fromSmoothed || out == smoothed;
  int32_t x = 0;
  for (; x + Isa::kLanesD <= width; x += Isa::kLanesD) {
    const D s = Isa::LoadFloats(src + x);
    const D a = Isa::LoadFloats(smoothed + x);
    const D keep = keepSmoothed ? a : Isa::LoadFloats(out + x);
    Isa::StoreFloats(out + x, Isa::MergeD(s, a, keep, vp, vn));
  }
  for (; x < width; ++x) {
    const double d = static_cast<double>(src[x]) - static_cast<double>(smoothed[x]);
    if (d > positive || d < -negative) {
      out[x] = src[x];
    } else if (fromSmoothed) {
      out[x] = smoothed[x];
    }
  }
}

// full[x] = Σ_k K[k]·row_k[x]; surround[x] the same without row M (interior rows).
template <int32_t M>
void VerticalPass(const float* const* r, const D* weights, const double* scalarWeights, int32_t width, double* full,
                  double* surround) {
  int32_t x = 0;
  for (; x + Isa::kLanesD <= width; x += Isa::kLanesD) {
    D acc = Isa::MulD(Isa::AddD(Isa::LoadFloats(r[M - 1] + x), Isa::LoadFloats(r[M + 1] + x)), weights[1]);
    for (int32_t d = 2; d <= M; ++d) {
      acc = Isa::MulAddD(Isa::AddD(Isa::LoadFloats(r[M - d] + x), Isa::LoadFloats(r[M + d] + x)), weights[d], acc);
    }
    if (surround != nullptr) Isa::StoreD(surround + x, acc);
    Isa::StoreD(full + x, Isa::MulAddD(Isa::LoadFloats(r[M] + x), weights[0], acc));
  }
  for (; x < width; ++x) {
    double acc = 0.0;
    for (int32_t d = 1; d <= M; ++d) {
      acc += (static_cast<double>(r[M - d][x]) + static_cast<double>(r[M + d][x])) * scalarWeights[d];
    }
    if (surround != nullptr) surround[x] = acc;
    full[x] = static_cast<double>(r[M][x]) * scalarWeights[0] + acc;
  }
}

// The vertical sums of output rows y and y + 1 at once from the 2·M + 2 rows r[j] = row
// y − M + j (mirrored): each source row is loaded and widened once for both. Row y weighs r[j]
// with K[j], row y + 1 with K[j − 1]; the centre rows are r[M] and r[M + 1]. `byTap` holds K[k]
// for k = 0 … 2·M.
template <int32_t M>
void VerticalPassTwoRows(const float* const* r, const D* byTap, const double* scalarWeights, int32_t width,
                         double* const* full, double* const* surround) {
  int32_t x = 0;
  for (; x + Isa::kLanesD <= width; x += Isa::kLanesD) {
    D upper = Isa::SetD(0.0);
    D lower = Isa::SetD(0.0);
    D upperCentre = upper;
    D lowerCentre = lower;
#pragma GCC unroll 18
    for (int32_t j = 0; j <= 2 * M + 1; ++j) {
      const D v = Isa::LoadFloats(r[j] + x);
      if (j == M) upperCentre = v;
      if (j <= 2 * M && j != M) upper = Isa::MulAddD(v, byTap[j], upper);
      if (j == M + 1) lowerCentre = v;
      if (j >= 1 && j != M + 1) lower = Isa::MulAddD(v, byTap[j - 1], lower);
    }
    if (surround[0] != nullptr) Isa::StoreD(surround[0] + x, upper);
    if (surround[1] != nullptr) Isa::StoreD(surround[1] + x, lower);
    Isa::StoreD(full[0] + x, Isa::MulAddD(upperCentre, byTap[M], upper));
    Isa::StoreD(full[1] + x, Isa::MulAddD(lowerCentre, byTap[M], lower));
  }
  for (; x < width; ++x) {
    for (int32_t row = 0; row < 2; ++row) {
      double acc = 0.0;
      for (int32_t d = 1; d <= M; ++d) {
        acc += (static_cast<double>(r[row + M - d][x]) + static_cast<double>(r[row + M + d][x])) * scalarWeights[d];
      }
      if (surround[row] != nullptr) surround[row][x] = acc;
      full[row][x] = static_cast<double>(r[row + M][x]) * scalarWeights[0] + acc;
    }
  }
}

template <int32_t M>
void HorizontalPass(const double* full, const double* centre, const D* weights, const double* scalarWeights,
                    double scale, int32_t width, float* rowOut) {
  const D vScale = Isa::SetD(scale);
  int32_t x = 0;
  for (; x + Isa::kLanesD <= width; x += Isa::kLanesD) {
    D acc = Isa::MulD(Isa::LoadD(centre + x), weights[0]);
    for (int32_t d = 1; d <= M; ++d) {
      acc = Isa::MulAddD(Isa::AddD(Isa::LoadD(full + x - d), Isa::LoadD(full + x + d)), weights[d], acc);
    }
    Isa::StoreFloats(rowOut + x, Isa::MulD(acc, vScale));
  }
  for (; x < width; ++x) {
    double acc = centre[x] * scalarWeights[0];
    for (int32_t d = 1; d <= M; ++d) acc += (full[x - d] + full[x + d]) * scalarWeights[d];
    rowOut[x] = static_cast<float>(acc * scale);
  }
}

bool RowIsNominal(const float* row, int32_t width) {
  int32_t x = 0;
  for (; x + Isa::kFloatLanes <= width; x += Isa::kFloatLanes) {
    if (!Isa::FloatsBelow(row + x, kNominalBound)) return false;
  }
  for (; x < width; ++x) {
    if (!SampleIsNominal(row[x])) return false;
  }
  return true;
}

// False, with rows of dst already written, as soon as a source row turns out not nominal; each
// row is checked as it first enters the window, while it is about to be read anyway. Not
// inlined, for the stack's sake (see the B-bit GaussianRows).
template <int32_t M>
__attribute__((noinline)) bool GaussianRows(const GaussianJob<float>& job, int32_t* workspace) {
  const ChannelShape& s = job.shape;
  const GaussianParams& g = job.g;
  const FusedLimits<float>& limits = job.limits;
  const size_t region = Region(s.width);
  double* base = reinterpret_cast<double*>(workspace);
  // 16 entries ahead of each row of full sums for the reflected left end.
  double* const full[2] = {base + 16, base + 2 * region + 16};
  double* const surround[2] = {base + region, base + 3 * region};
  float* rowOut = reinterpret_cast<float*>(base + 4 * region);
  double scalarWeights[M + 1];
  D weights[M + 1];
  D byTap[2 * M + 1];
  for (int32_t d = 0; d <= M; ++d) {
    scalarWeights[d] = static_cast<double>(g.taps[M + d]);
    weights[d] = Isa::SetD(scalarWeights[d]);
    byTap[M + d] = weights[d];
    byTap[M - d] = weights[d];
  }
  const double edgeScale = kUnitScale;
  const double interiorScale = 1.0 / static_cast<double>(g.surroundWeight);
  auto rowAt = [&](int32_t y) { return RowOf(job.plane, y); };
  auto interior = [&](int32_t y) { return y >= M && y < s.height - M; };
  // Finishes output row y from its vertical sums (row `which` of the pair).
  auto finish = [&](int32_t y, int32_t which) {
    double* sums = full[which];
    ReflectEnds(sums, s.width, M);
    const bool inside = interior(y);
    HorizontalPass<M>(sums, inside ? surround[which] : sums, weights, scalarWeights, inside ? interiorScale : edgeScale,
                      s.width, rowOut);
    const float* srcRow = rowAt(y);
    float* dstRow = RowOf(job.dst, y);
    if (s.step == 1 && limits.enabled) {
      // Straight into the destination: the smoothed value or the source's.
      MergeRow(dstRow, srcRow, rowOut, s.width, limits.positive, limits.negative, true);
      return;
    }
    if (limits.enabled) MergeRow(rowOut, srcRow, rowOut, s.width, limits.positive, limits.negative);
    ScatterRow(dstRow, rowOut, s.width, s.step);
  };
  // Rows 0 … M are all the first output row reads (its upper rows are mirrored from them);
  // every further row is checked as it first enters a window.
  for (int32_t y = 0; y <= M && y < s.height; ++y) {
    if (!RowIsNominal(rowAt(y), s.width)) return false;
  }
  const float* rows[2 * M + 2];
  for (int32_t y = 0; y < s.height; y += 2) {
    const int32_t pair = y + 1 < s.height ? 2 : 1;
    for (int32_t next = y + M + (y > 0 ? 0 : 1); next <= y + M + pair - 1; ++next) {
      if (next < s.height && !RowIsNominal(rowAt(next), s.width)) return false;
    }
    for (int32_t j = 0; j < 2 * M + pair; ++j) rows[j] = rowAt(Mirror(y - M + j, s.height));
    if (pair == 2) {
      double* const centreless[2] = {interior(y) ? surround[0] : nullptr, interior(y + 1) ? surround[1] : nullptr};
      VerticalPassTwoRows<M>(rows, byTap, scalarWeights, s.width, full, centreless);
      finish(y, 0);
      finish(y + 1, 1);
    } else {
      VerticalPass<M>(rows, weights, scalarWeights, s.width, full[0], interior(y) ? surround[0] : nullptr);
      finish(y, 0);
    }
  }
  return true;
}

// Box rows: running column sums over the reflected rows (all samples nominal, so the running
// sums drift by far less than 2^−30), then each window summed directly.
struct FloatBoxRows {
  using Sum = double;
  int32_t r;
  double inverseArea;

  void AddRows(double* sums, const float* add, const float* drop, int32_t width) const {
    int32_t x = 0;
    for (; x + Isa::kLanesD <= width; x += Isa::kLanesD) {
      D v = Isa::AddD(Isa::LoadD(sums + x), Isa::LoadFloats(add + x));
      if (drop != nullptr) v = Isa::SubD(v, Isa::LoadFloats(drop + x));
      Isa::StoreD(sums + x, v);
    }
    for (; x < width; ++x) sums[x] = sums[x] + add[x] - (drop != nullptr ? static_cast<double>(drop[x]) : 0.0);
  }

  void FinishRow(const double* sums, const RowOutput<float>& out) const {
    const D vInverseArea = Isa::SetD(inverseArea);
    int32_t x = 0;
    for (; x + Isa::kLanesD <= out.width; x += Isa::kLanesD) {
      D acc = Isa::LoadD(sums + x - r);
      for (int32_t k = 1 - r; k <= r; ++k) acc = Isa::AddD(acc, Isa::LoadD(sums + x + k));
      Isa::StoreFloats(out.Block(x, Isa::kLanesD), Isa::MulD(acc, vInverseArea));
    }
    for (; x < out.width; ++x) {
      double acc = 0.0;
      for (int32_t k = -r; k <= r; ++k) acc += sums[x + k];
      out.rowOut[x] = static_cast<float>(acc * inverseArea);
    }
    out.Finish(Isa::kLanesD);
  }
};

struct FloatKernels {
  using Sample = float;

  // The decomposition needs the Gaussian to separate and a positive divisor.
  static bool GaussianFits(const GaussianParams& g) { return GaussianSeparates(g) && g.surroundWeight > 0; }
  template <int32_t M>
  static bool GaussianRows(const GaussianJob<float>& job, int32_t* workspace) {
    return floats::GaussianRows<M>(job, workspace);
  }

  static bool BoxTakes(Channel<const float> src, const ChannelShape& s) { return ChannelIsNominal(src, s); }
  static void Box(Channel<float> dst, Channel<const float> src, const ChannelShape& s, int32_t window,
                  int32_t* workspace) {
    const size_t region = Region(s.width);
    double* base = reinterpret_cast<double*>(workspace);
    const BoxBuffers<float, double> buffers = {base + 16, reinterpret_cast<float*>(base + region),
                                               reinterpret_cast<float*>(base + 2 * region),
                                               reinterpret_cast<float*>(base + 3 * region)};
    BoxRows(dst, src, s, window, buffers, FloatBoxRows{window / 2, 1.0 / (static_cast<double>(window) * window)});
  }

  static void LimitMerge(Channel<float> out, Channel<const float> src, Channel<const float> smoothed,
                         const ChannelShape& s, const MergeLimits<float>& limits) {
    if (s.step != 1) {
      sorvan::LimitMerge<float>(out, src, smoothed, s, limits);
      return;
    }
    for (int32_t y = 0; y < s.height; ++y) {
      MergeRow(RowOf(out, y), RowOf(src, y), RowOf(smoothed, y), s.width, limits.positive, limits.negative);
    }
  }

  static void CopyPacked(Channel<float> dst, Channel<const float> src, const ChannelShape& s) {
    CopyChannel<float>(dst, src, s);
  }

  // Five regions (see Region).
  static size_t WorkspaceBytes(int32_t maxWidth) { return 5 * Region(maxWidth) * sizeof(double); }
};

}  // namespace floats
}  // namespace
}  // namespace sorvan
