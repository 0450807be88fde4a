// The fast paths for 32-bit float samples, over the `Isa` of an AVX2 or AVX-512 unit, on top of
// kernel_templates.h. They sum in double precision, vertical pass first, like the
// integer paths; only the order of the additions differs from the reference's.
//
// Why that stays within 2^−20 of the reference: every average is a weighted mean of samples
// with weights summing to one, so |a| ≤ max |S|. With all |S| < 16, the two double sums differ
// by far less than 2^−40, and the one rounding to float can then differ by at most one unit in
// the last place of a, which is at most 2^−20 below 16. So any sample that is NaN, infinite or
// of magnitude 16 or more sends the whole channel to the reference (which is also what keeps
// NaN and infinity from running through the running box sums to samples far away): the box
// checks the channel first, the Gaussian each row as it enters the window.
#pragma once

#include "core/x86/kernel_templates.h"

namespace sorvan {
namespace {
namespace floats {

using D = Isa::D;

constexpr float kNominalBound = 16.0f;
constexpr double kUnitScale = 1.0 / static_cast<double>(1 << 20);

const float* RowAt(const float* base, int32_t pitch, int32_t y) {
  return reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(base) + static_cast<ptrdiff_t>(y) * pitch);
}
float* RowAt(float* base, int32_t pitch, int32_t y) {
  return reinterpret_cast<float*>(reinterpret_cast<uint8_t*>(base) + static_cast<ptrdiff_t>(y) * pitch);
}

// Regions of doubles, each KernelWorkspaceRegion(width) entries long: full and surround sums
// for two output rows, and the finished row.
size_t Region(int32_t width) { return KernelWorkspaceRegion(width); }
size_t WorkspaceBytes(int32_t maxWidth) { return 5 * Region(maxWidth) * sizeof(double); }

bool SampleIsNominal(float v) { return v > -kNominalBound && v < kNominalBound; }  // false for NaN

bool ChannelIsNominal(Channel<const float> src, const ChannelShape& s) {
  for (int32_t y = 0; y < s.height; ++y) {
    const float* row = RowAt(src.base, src.pitch, y);
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

void GatherRow(float* out, const float* row, int32_t width, int32_t step) {
  if (step == 1) {
    memcpy(out, row, static_cast<size_t>(width) * sizeof(float));
    return;
  }
  for (int32_t x = 0; x < width; ++x) out[x] = row[static_cast<ptrdiff_t>(x) * step];
}

void ScatterRow(float* row, const float* in, int32_t width, int32_t step) {
  if (step == 1) {
    memcpy(row, in, static_cast<size_t>(width) * sizeof(float));
    return;
  }
  for (int32_t x = 0; x < width; ++x) row[static_cast<ptrdiff_t>(x) * step] = in[x];
}

struct FloatLimits {
  bool enabled;
  double positive;
  double negative;
};

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
__attribute__((noinline)) bool GaussianRows(const float* plane, int32_t planePitch, Channel<float> dst,
                                            const ChannelShape& s, const GaussianParams& g, const FloatLimits& limits,
                                            int32_t* workspace) {
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
  auto rowAt = [&](int32_t y) { return RowAt(plane, planePitch, y); };
  auto interior = [&](int32_t y) { return y >= M && y < s.height - M; };
  // Finishes output row y from its vertical sums (row `which` of the pair).
  auto finish = [&](int32_t y, int32_t which) {
    double* sums = full[which];
    for (int32_t d = 1; d <= M; ++d) {
      sums[-d] = sums[d];
      sums[s.width - 1 + d] = sums[s.width - 1 - d];
    }
    const bool inside = interior(y);
    HorizontalPass<M>(sums, inside ? surround[which] : sums, weights, scalarWeights, inside ? interiorScale : edgeScale,
                      s.width, rowOut);
    const float* srcRow = rowAt(y);
    float* dstRow = RowAt(dst.base, dst.pitch, y);
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

// The decomposition needs symmetric weights and the centre's share equal to K[m]².
bool GaussianFitsFloats(const GaussianParams& g) {
  if (g.window < 3 || g.window > kMaxWindow || (g.window & 1) == 0 || g.surroundWeight <= 0) return false;
  const int32_t m = g.window / 2;
  if (g.centreWeightSq != g.taps[m] * g.taps[m]) return false;
  for (int32_t k = 0; k < g.window; ++k) {
    if (g.taps[k] != g.taps[g.window - 1 - k]) return false;
  }
  return true;
}

// False when the channel is not nominal (dst partly written, src untouched: they never overlap).
bool GaussianRun(Channel<float> dst, Channel<const float> src, const ChannelShape& s, const GaussianParams& g,
                 const FloatLimits& limits, const ScratchBlock& scratch) {
  // A packed channel is first gathered into the row-sum plane (width·height doubles).
  const float* plane = src.base;
  int32_t planePitch = src.pitch;
  if (s.step != 1) {
    float* samples = reinterpret_cast<float*>(scratch.Plane<double>());
    for (int32_t y = 0; y < s.height; ++y) {
      GatherRow(samples + static_cast<ptrdiff_t>(y) * s.width, RowAt(src.base, src.pitch, y), s.width, s.step);
    }
    plane = samples;
    planePitch = s.width * static_cast<int32_t>(sizeof(float));
  }
  int32_t* w = scratch.Workspace();
  switch (g.window / 2) {
    case 1: return GaussianRows<1>(plane, planePitch, dst, s, g, limits, w);
    case 2: return GaussianRows<2>(plane, planePitch, dst, s, g, limits, w);
    case 3: return GaussianRows<3>(plane, planePitch, dst, s, g, limits, w);
    case 4: return GaussianRows<4>(plane, planePitch, dst, s, g, limits, w);
    case 5: return GaussianRows<5>(plane, planePitch, dst, s, g, limits, w);
    case 6: return GaussianRows<6>(plane, planePitch, dst, s, g, limits, w);
    case 7: return GaussianRows<7>(plane, planePitch, dst, s, g, limits, w);
    default: return GaussianRows<8>(plane, planePitch, dst, s, g, limits, w);
  }
}

void LimitMergeEntry(Channel<float> out, Channel<const float> src, Channel<const float> smoothed, const ChannelShape& s,
                     const MergeLimits<float>& limits) {
  if (s.step != 1) {
    LimitMerge<float>(out, src, smoothed, s, limits);
    return;
  }
  for (int32_t y = 0; y < s.height; ++y) {
    MergeRow(RowAt(out.base, out.pitch, y), RowAt(src.base, src.pitch, y), RowAt(smoothed.base, smoothed.pitch, y),
             s.width, limits.positive, limits.negative);
  }
}

void GaussianEntry(Channel<float> dst, Channel<const float> src, const ChannelShape& s, const GaussianParams& g,
                   const ScratchBlock& scratch) {
  if (GaussianFitsFloats(g) && GaussianRun(dst, src, s, g, {false, 0.0, 0.0}, scratch)) return;
  GaussianSurroundAverage<float>(dst, src, s, g, scratch.Plane<double>());
}

void GaussianMergeEntry(Channel<float> dst, Channel<const float> src, const ChannelShape& s, const GaussianParams& g,
                        const MergeLimits<float>& limits, const ScratchBlock& scratch) {
  if (GaussianFitsFloats(g) && GaussianRun(dst, src, s, g, {true, limits.positive, limits.negative}, scratch)) return;
  GaussianSurroundAverage<float>(dst, src, s, g, scratch.Plane<double>());
  LimitMerge<float>(dst, src, {dst.base, dst.pitch}, s, limits);
}

// Box: running column sums over the reflected rows (all samples nominal, so the running sums
// drift by far less than 2^−30), reflected at both row ends, then each window summed directly.
void BoxEntry(Channel<float> dst, Channel<const float> src, const ChannelShape& s, int32_t window,
              const ScratchBlock& scratch) {
  if (window < 3 || window > kMaxWindow || (window & 1) == 0 || !ChannelIsNominal(src, s)) {
    BoxAverage<float>(dst, src, s, window, scratch.BoxOffsets());
    return;
  }
  const int32_t r = window / 2;
  const size_t region = Region(s.width);
  double* base = reinterpret_cast<double*>(scratch.Workspace());
  double* sums = base + 16;
  float* addRow = reinterpret_cast<float*>(base + region);
  float* dropRow = reinterpret_cast<float*>(base + 2 * region);
  float* rowOut = reinterpret_cast<float*>(base + 3 * region);
  auto row = [&](int32_t y, float* buffer) -> const float* {
    const float* p = RowAt(src.base, src.pitch, y);
    if (s.step == 1) return p;
    GatherRow(buffer, p, s.width, s.step);
    return buffer;
  };
  auto addRows = [&](const float* add, const float* drop) {
    int32_t x = 0;
    for (; x + Isa::kLanesD <= s.width; x += Isa::kLanesD) {
      D v = Isa::AddD(Isa::LoadD(sums + x), Isa::LoadFloats(add + x));
      if (drop != nullptr) v = Isa::SubD(v, Isa::LoadFloats(drop + x));
      Isa::StoreD(sums + x, v);
    }
    for (; x < s.width; ++x) sums[x] = sums[x] + add[x] - (drop != nullptr ? static_cast<double>(drop[x]) : 0.0);
  };
  for (int32_t x = 0; x < s.width; ++x) sums[x] = 0.0;
  for (int32_t dy = -r; dy <= r; ++dy) addRows(row(Mirror(dy, s.height), addRow), nullptr);

  const double inverseArea = 1.0 / (static_cast<double>(window) * window);
  const D vInverseArea = Isa::SetD(inverseArea);
  for (int32_t y = 0; y < s.height; ++y) {
    if (y > 0) {
      const float* add = row(Mirror(y + r, s.height), addRow);
      const float* drop = row(Mirror(y - 1 - r, s.height), dropRow);
      addRows(add, drop);
    }
    for (int32_t d = 1; d <= r; ++d) {
      sums[-d] = sums[d];
      sums[s.width - 1 + d] = sums[s.width - 1 - d];
    }
    int32_t x = 0;
    for (; x + Isa::kLanesD <= s.width; x += Isa::kLanesD) {
      D acc = Isa::LoadD(sums + x - r);
      for (int32_t k = 1 - r; k <= r; ++k) acc = Isa::AddD(acc, Isa::LoadD(sums + x + k));
      Isa::StoreFloats(rowOut + x, Isa::MulD(acc, vInverseArea));
    }
    for (; x < s.width; ++x) {
      double acc = 0.0;
      for (int32_t k = -r; k <= r; ++k) acc += sums[x + k];
      rowOut[x] = static_cast<float>(acc * inverseArea);
    }
    ScatterRow(RowAt(dst.base, dst.pitch, y), rowOut, s.width, s.step);
  }
}

void CopyEntry(Channel<float> dst, Channel<const float> src, const ChannelShape& s) {
  if (s.step != 1) {
    CopyChannel<float>(dst, src, s);
    return;
  }
  if (s.width <= 0) return;
  for (int32_t y = 0; y < s.height; ++y) {
    memcpy(RowAt(dst.base, dst.pitch, y), RowAt(src.base, src.pitch, y), static_cast<size_t>(s.width) * sizeof(float));
  }
}

constexpr SampleKernels<float> MakeFloatKernels(const char* name) {
  return {name, &GaussianEntry, &BoxEntry, &LimitMergeEntry, &CopyEntry, &GaussianMergeEntry, &WorkspaceBytes};
}

}  // namespace floats
}  // namespace
}  // namespace sorvan
