// The fast paths for B-bit samples (9 to 16 bits in 16-bit words), written once over the same
// `Isa` as byte_kernel_templates.h. Bit-exact with the reference for every word value, above
// 2^B − 1 as well, so the kernels never need to know B.
//
// - Gaussian, vertical pass first (see byte_kernel_templates.h for why the order does not change
//   the integer). The vertical sum V = Σ K[k]·S of a column is below 1024·2^16 = 2^26: words are
//   moved into signed range (S − 2^15, a flip of the top bit) so that one 16-bit multiply-add
//   takes two opposite rows at once, and the offset 2^15·ΣK is added back. V is stored split
//   as (V mod 2^13, V div 2^13) in the two halves of its 32-bit lane: two such lanes add
//   without carry, and the horizontal pass sums each half with its own multiply-add, L = Σ K·lo
//   and H = Σ K·hi (each < 2^24), so u = 512 + L + 2^13·H never needs to be formed in 32 bits.
//   Edge rows: u >> 20 = (H + (L + 512) >> 13) >> 7. Interior rows (centre row left out of the
//   centre column as for 8 bits): ⌊u / w⌋ with u < 2^37 in double precision, where u is exact;
//   the quotient q + f (0 ≤ f ≤ 1 − 1/w, 1/w ≥ 2^−20, q < 2^17) is computed to within 2^−34, so
//   adding 2^−21 and truncating gives q exactly.
//   Output rows whose window holds only words below 2^10 (every sample of up to 10 bits, told
//   by the words themselves, whatever B the clip claims) have vertical sums below 2^20 and take
//   the 8-bit horizontal pass instead: V as it is with a 32-bit multiply where the instruction
//   set makes that cheap, else split as (V mod 64, V div 64) for one multiply-add with the pair
//   (K, 64·K); u < 2^30, and the division as a multiply-high by ⌈2^50 / w⌉, exact for d < 2^30
//   when w > 2^18 (the proof of core/surround_division.h with 50 for 48). Likewise windows of
//   words below 2^14 add opposite rows in 16 bits before the vertical multiply-add. Each
//   vertical pass stores its sums already in the form the horizontal pass reads.
// - Box: 32-bit running column sums and a prefix sum along the row (box_outline.h); the product
//   with the scale is formed in 64 bits.
// - Packed channels (16-bit RGB, step 3 and 4) are gathered into contiguous rows and written
//   back sample by sample, so the other channels' words are never touched.
#pragma once

#include "core/simd/box_outline.h"
#include "core/simd/fast_kernels.h"
#include "core/simd/split_sums.h"
#include "core/simd/vector_operations.h"

namespace sorvan {
namespace {
namespace words {

static_assert(WordOperations<Isa>, "Isa lacks operations the B-bit paths use");

using V = Isa::V;

constexpr int32_t kSplitShift = 13;

// out[x] = src[x] where it lies more than p above or n below smoothed[x], else smoothed[x] when
// kFromSmoothed, out[x] as it is otherwise (contiguous rows; out may be smoothed itself).
// Limits 0..65535.
template <bool kFromSmoothed>
void MergeRow(uint16_t* out, const uint16_t* src, const uint16_t* smoothed, int32_t width, int32_t p, int32_t n) {
  const V vp = Isa::Set32(static_cast<int32_t>(static_cast<uint32_t>(p) * 0x10001u));
  const V vn = Isa::Set32(static_cast<int32_t>(static_cast<uint32_t>(n) * 0x10001u));
  int32_t x = 0;
  for (; x + Isa::kLanes16 <= width; x += Isa::kLanes16) {
    const V sv = Isa::Load(src + x);
    const V av = Isa::Load(smoothed + x);
    const V inside = Isa::EqZero16(Isa::Or(Isa::SaturatingSubU16(Isa::SaturatingSubU16(sv, av), vp),
                                           Isa::SaturatingSubU16(Isa::SaturatingSubU16(av, sv), vn)));
    const V kept = (kFromSmoothed || out == smoothed) ? av : Isa::Load(out + x);
    Isa::Store(out + x, Isa::Or(Isa::And(inside, kept), Isa::AndNot(inside, sv)));
  }
  for (; x < width; ++x) {
    const int32_t d = static_cast<int32_t>(src[x]) - static_cast<int32_t>(smoothed[x]);
    if (d > p || d < -n) {
      out[x] = src[x];
    } else if (kFromSmoothed) {
      out[x] = smoothed[x];
    }
  }
}

int32_t Split(int32_t v) { return (v & ((1 << kSplitShift) - 1)) | ((v >> kSplitShift) << 16); }
V Split(V v) {
  return Isa::Or(Isa::And(v, Isa::Set32((1 << kSplitShift) - 1)), Isa::ShlU32<16>(Isa::ShrU32<kSplitShift>(v)));
}

// How the vertical passes store their sums: as they are, split as for 8 bits (sums below 2^20),
// or split at bit 13 (any sum).
enum class SumForm { kPlain, kNarrowSplit, kWideSplit };

template <SumForm kForm>
V Stored(V v) {
  if constexpr (kForm == SumForm::kNarrowSplit) return SplitSum(v);
  if constexpr (kForm == SumForm::kWideSplit) return Split(v);
  return v;
}
template <SumForm kForm>
int32_t Stored(int32_t v) {
  if constexpr (kForm == SumForm::kNarrowSplit) return SplitSum(v);
  if constexpr (kForm == SumForm::kWideSplit) return Split(v);
  return v;
}

// Stores one block of kLanes16 vertical sums, given as the multiply-adds of the interleaved
// halves: the sums without the centre row (lo, hi) and the centre row's share (cLo, cHi).
template <SumForm kForm>
[[gnu::always_inline]] inline void StoreSums(V lo, V hi, V cLo, V cHi, int32_t* full, int32_t* surround) {
  V s0, s1, c0, c1;
  Isa::ColumnOrder32(lo, hi, &s0, &s1);
  Isa::ColumnOrder32(cLo, cHi, &c0, &c1);
  Isa::Store(full, Stored<kForm>(Isa::Add32(s0, c0)));
  Isa::Store(full + Isa::kLanes32, Stored<kForm>(Isa::Add32(s1, c1)));
  if (surround != nullptr) {
    Isa::Store(surround, Stored<kForm>(s0));
    Isa::Store(surround + Isa::kLanes32, Stored<kForm>(s1));
  }
}

// The vertical sums of columns from … width − 1, one at a time.
template <int32_t M, SumForm kForm>
void ScalarSums(const uint16_t* const* r, const int32_t* weights, int32_t from, int32_t width, int32_t* full,
                int32_t* surround) {
  for (int32_t x = from; x < width; ++x) {
    int32_t sum = 0;
    for (int32_t k = 0; k <= 2 * M; ++k) sum += weights[k] * r[k][x];
    full[x] = Stored<kForm>(sum);
    if (surround != nullptr) surround[x] = Stored<kForm>(sum - weights[M] * r[M][x]);
  }
}

// full[x] = Σ_k K[k]·row_k[x]; for interior rows surround[x] = the same without row M; both in
// the given form.
template <int32_t M, SumForm kForm>
void VerticalPass(const uint16_t* const* rows, const int32_t* weights, int32_t width, int32_t* full,
                  int32_t* surround) {
  V pairWeights[M + 1];
  int32_t total = weights[M];
  for (int32_t d = 1; d <= M; ++d) {
    pairWeights[d] = Isa::Set32(static_cast<int32_t>(static_cast<uint32_t>(weights[M + d]) * 0x10001u));
    total += weights[M - d] + weights[M + d];
  }
  const V centreWeight = Isa::Set32(weights[M]);
  const V surroundOffset = Isa::Set32(32768 * (total - weights[M]));
  const V centreOffset = Isa::Set32(32768 * weights[M]);
  const V flip = Isa::Set32(static_cast<int32_t>(0x80008000u));
  const V zero = Isa::Zero();
  const uint16_t* r[2 * M + 1];
  for (int32_t k = 0; k <= 2 * M; ++k) r[k] = rows[k];
  int32_t x = 0;
  for (; x + Isa::kLanes16 <= width; x += Isa::kLanes16) {
    V lo = surroundOffset;
    V hi = surroundOffset;
    for (int32_t d = 1; d <= M; ++d) {
      const V a = Isa::Xor(Isa::Load(r[M - d] + x), flip);
      const V b = Isa::Xor(Isa::Load(r[M + d] + x), flip);
      lo = Isa::AddDotPairs(lo, Isa::InterleaveLow16(a, b), pairWeights[d]);
      hi = Isa::AddDotPairs(hi, Isa::InterleaveHigh16(a, b), pairWeights[d]);
    }
    const V c = Isa::Xor(Isa::Load(r[M] + x), flip);
    const V cLo = Isa::AddDotPairs(centreOffset, Isa::InterleaveLow16(c, zero), centreWeight);
    const V cHi = Isa::AddDotPairs(centreOffset, Isa::InterleaveHigh16(c, zero), centreWeight);
    StoreSums<kForm>(lo, hi, cLo, cHi, full + x, surround != nullptr ? surround + x : nullptr);
  }
  ScalarSums<M, kForm>(r, weights, x, width, full, surround);
}

// The vertical pass for rows whose words all lie below 2^14 (every depth up to 14 bits, told
// by the words themselves): two opposite rows add up in 16 bits without the sign flip, and one
// multiply-add takes two such pairs, as the 8-bit pass does. Same output as VerticalPass.
template <int32_t M, SumForm kForm>
void NarrowVerticalPass(const uint16_t* const* rows, const int32_t* weights, int32_t width, int32_t* full,
                        int32_t* surround) {
  constexpr int32_t kPairs = (M + 1) / 2;
  V pairWeights[kPairs];
  for (int32_t i = 0; i < kPairs; ++i) {
    const int32_t w1 = weights[M + 2 * i + 1];
    const int32_t w2 = 2 * i + 2 <= M ? weights[M + 2 * i + 2] : 0;
    pairWeights[i] = Isa::Set32(static_cast<int32_t>((static_cast<uint32_t>(w2) << 16) | static_cast<uint32_t>(w1)));
  }
  const V centreWeight = Isa::Set32(weights[M]);
  const V zero = Isa::Zero();
  const uint16_t* r[2 * M + 1];
  for (int32_t k = 0; k <= 2 * M; ++k) r[k] = rows[k];
  int32_t x = 0;
  for (; x + Isa::kLanes16 <= width; x += Isa::kLanes16) {
    V lo = zero;
    V hi = zero;
    for (int32_t i = 0; i < kPairs; ++i) {
      const int32_t d1 = 2 * i + 1;
      const int32_t d2 = 2 * i + 2;
      const V t1 = Isa::Add16(Isa::Load(r[M - d1] + x), Isa::Load(r[M + d1] + x));
      const V t2 = d2 <= M ? Isa::Add16(Isa::Load(r[M - d2] + x), Isa::Load(r[M + d2] + x)) : zero;
      lo = Isa::AddDotPairs(lo, Isa::InterleaveLow16(t1, t2), pairWeights[i]);
      hi = Isa::AddDotPairs(hi, Isa::InterleaveHigh16(t1, t2), pairWeights[i]);
    }
    const V c = Isa::Load(r[M] + x);
    const V cLo = Isa::DotPairs(Isa::InterleaveLow16(c, zero), centreWeight);
    const V cHi = Isa::DotPairs(Isa::InterleaveHigh16(c, zero), centreWeight);
    StoreSums<kForm>(lo, hi, cLo, cHi, full + x, surround != nullptr ? surround + x : nullptr);
  }
  ScalarSums<M, kForm>(r, weights, x, width, full, surround);
}

// How wide the words of a (contiguous) row are: 0 when all lie below 2^10 (so every vertical sum
// over such rows stays below 1024·2^10 = 2^20), 1 below 2^14, 2 otherwise.
int32_t RowClass(const uint16_t* row, int32_t width) {
  V seen = Isa::Zero();
  int32_t x = 0;
  for (; x + Isa::kLanes16 <= width; x += Isa::kLanes16) seen = Isa::Or(seen, Isa::Load(row + x));
  alignas(64) uint16_t lanes[Isa::kLanes16];
  Isa::Store(lanes, seen);
  uint32_t any = 0;
  for (int32_t i = 0; i < Isa::kLanes16; ++i) any |= lanes[i];
  for (; x < width; ++x) any |= row[x];
  return any < (1u << 10) ? 0 : (any < (1u << 14) ? 1 : 2);
}

// The 8-bit horizontal pass for rows whose sums are below 2^20 (see the top of this file).
template <int32_t M, bool kInterior>
void NarrowHorizontalPass(const int32_t* full, const int32_t* centre, const int32_t* weights, uint32_t reciprocal,
                          int32_t width, uint16_t* rowOut) {
  V tapWeights[M + 1];
  for (int32_t d = 0; d <= M; ++d) tapWeights[d] = Isa::Set32(HorizontalWeight(weights[M + d]));
  const V vReciprocal = Isa::Set32(static_cast<int32_t>(reciprocal));
  const V rounding = Isa::Set32(512);
  for (int32_t x = 0; x < width; x += Isa::kLanes32) {
    V acc = WeightedSum(rounding, Isa::Load(centre + x), tapWeights[0]);
    for (int32_t d = 1; d <= M; ++d) {
      acc = WeightedSum(acc, Isa::Add32(Isa::Load(full + x - d), Isa::Load(full + x + d)), tapWeights[d]);
    }
    Isa::StoreLanes32As16(rowOut + x, kInterior ? Isa::MulShr<50>(acc, vReciprocal) : Isa::ShrU32<20>(acc));
  }
}

// One output row from the split vertical sums, reflected M entries beyond both ends, into
// rowOut (rounded up to whole vectors).
template <int32_t M, bool kInterior>
void HorizontalPass(const int32_t* full, const int32_t* centre, const int32_t* weights, double reciprocal,
                    int32_t width, uint16_t* rowOut) {
  V lowWeights[M + 1];
  V highWeights[M + 1];
  for (int32_t d = 0; d <= M; ++d) {
    lowWeights[d] = Isa::Set32(weights[M + d]);
    highWeights[d] = Isa::Set32(static_cast<int32_t>(static_cast<uint32_t>(weights[M + d]) << 16));
  }
  const V rounding = Isa::Set32(512);
  for (int32_t x = 0; x < width; x += Isa::kLanes32) {
    const V c = Isa::Load(centre + x);
    V low = Isa::AddDotPairs(rounding, c, lowWeights[0]);
    V high = Isa::DotPairs(c, highWeights[0]);
    for (int32_t d = 1; d <= M; ++d) {
      const V pair = Isa::Add32(Isa::Load(full + x - d), Isa::Load(full + x + d));
      low = Isa::AddDotPairs(low, pair, lowWeights[d]);
      high = Isa::AddDotPairs(high, pair, highWeights[d]);
    }
    const V q = kInterior ? Isa::FloorDivideSplit(high, low, reciprocal)
                          : Isa::ShrU32<20 - kSplitShift>(Isa::Add32(high, Isa::ShrU32<kSplitShift>(low)));
    Isa::StoreLanes32As16(rowOut + x, q);
  }
}

// Not inlined: eight copies in one frame would need more than a page of stack for the spilled
// weight vectors on 32-bit x86, where Windows then wants a stack probe the DLL does not link.
template <int32_t M>
__attribute__((noinline)) void GaussianRows(const GaussianJob<uint16_t>& job, int32_t* workspace) {
  const ChannelShape& s = job.shape;
  const int32_t* weights = job.g.taps;
  const FusedLimits<uint16_t>& limits = job.limits;
  const double reciprocal = 1.0 / static_cast<double>(job.g.surroundWeight);
  // ⌈2^50 / w⌉ fits 32 bits only for w > 2^18; 0 keeps every row on the wide pass.
  const uint64_t w = static_cast<uint64_t>(job.g.surroundWeight);
  const uint32_t narrowReciprocal = w > (1u << 18) ? static_cast<uint32_t>(((uint64_t{1} << 50) + w - 1) / w) : 0;
  const size_t region = KernelWorkspaceRegion(s.width);
  int32_t* full = workspace + 16;  // 16 entries ahead for the reflected left end
  int32_t* surround = workspace + region;
  uint16_t* rowOut = reinterpret_cast<uint16_t*>(workspace + 2 * region);
  const uint16_t* rows[2 * M + 1];
  // Each row's class, kept for the rows in the window: they span at most 2·M + 1 ≤ 17
  // consecutive rows (mirrored rows are among them), so a ring of 32 serves. Each row is
  // classed as it first enters the window.
  int32_t rowClasses[32];
  auto check = [&](int32_t row) { rowClasses[row & 31] = RowClass(RowOf(job.plane, row), s.width); };
  for (int32_t y = 0; y <= M && y < s.height; ++y) check(y);
  for (int32_t y = 0; y < s.height; ++y) {
    if (y > 0 && y + M < s.height) check(y + M);
    int32_t widest = 0;
    for (int32_t k = 0; k <= 2 * M; ++k) {
      const int32_t row = Mirror(y - M + k, s.height);
      rows[k] = RowOf(job.plane, row);
      widest = rowClasses[row & 31] > widest ? rowClasses[row & 31] : widest;
    }
    const bool interior = y >= M && y < s.height - M;
    int32_t* centre = interior ? surround : nullptr;
    // Sums below 2^20 take the 8-bit horizontal pass, which needs w > 2^18 for its division.
    const bool narrow = narrowReciprocal != 0 && widest == 0;
    constexpr SumForm kNarrowForm = Isa::kSplitSums ? SumForm::kNarrowSplit : SumForm::kPlain;
    if (narrow) {
      NarrowVerticalPass<M, kNarrowForm>(rows, weights, s.width, full, centre);
    } else if (widest <= 1) {
      NarrowVerticalPass<M, SumForm::kWideSplit>(rows, weights, s.width, full, centre);
    } else {
      VerticalPass<M, SumForm::kWideSplit>(rows, weights, s.width, full, centre);
    }
    ReflectEnds(full, s.width, M);
    if (narrow) {
      if (interior) {
        NarrowHorizontalPass<M, true>(full, surround, weights, narrowReciprocal, s.width, rowOut);
      } else {
        NarrowHorizontalPass<M, false>(full, full, weights, narrowReciprocal, s.width, rowOut);
      }
    } else if (interior) {
      HorizontalPass<M, true>(full, surround, weights, reciprocal, s.width, rowOut);
    } else {
      HorizontalPass<M, false>(full, full, weights, reciprocal, s.width, rowOut);
    }
    // rows[M] is row y of the (contiguous) source: what the merge compares with.
    uint16_t* dstRow = RowOf(job.dst, y);
    if (s.step == 1 && limits.enabled) {
      MergeRow<true>(dstRow, rows[M], rowOut, s.width, limits.positive, limits.negative);
    } else {
      if (limits.enabled) MergeRow<false>(rowOut, rows[M], rowOut, s.width, limits.positive, limits.negative);
      ScatterRow(dstRow, rowOut, s.width, s.step);
    }
  }
}

struct WordKernels {
  using Sample = uint16_t;

  static bool GaussianFits(const GaussianParams& g) { return IntegerGaussianFits(g); }
  template <int32_t M>
  static bool GaussianRows(const GaussianJob<uint16_t>& job, int32_t* workspace) {
    words::GaussianRows<M>(job, workspace);
    return true;
  }

  static bool BoxTakes(Channel<const uint16_t>, const ChannelShape&) { return true; }
  static void Box(Channel<uint16_t> dst, Channel<const uint16_t> src, const ChannelShape& s, int32_t window,
                  int32_t* workspace) {
    IntegerBox(dst, src, s, window, workspace);
  }

  static void LimitMerge(Channel<uint16_t> out, Channel<const uint16_t> src, Channel<const uint16_t> smoothed,
                         const ChannelShape& s, const MergeLimits<uint16_t>& limits) {
    FusedLimits<uint16_t> l;
    // Packed channels and limits the filter never sets (negative) take the reference.
    if (s.step != 1 || !FuseLimits(limits, &l)) {
      sorvan::LimitMerge<uint16_t>(out, src, smoothed, s, limits);
      return;
    }
    for (int32_t y = 0; y < s.height; ++y) {
      MergeRow<false>(RowOf(out, y), RowOf(src, y), RowOf(smoothed, y), s.width, l.positive, l.negative);
    }
  }

  static void CopyPacked(Channel<uint16_t> dst, Channel<const uint16_t> src, const ChannelShape& s) {
    CopyChannel<uint16_t>(dst, src, s);
  }

  // Four regions of int32 entries.
  static size_t WorkspaceBytes(int32_t maxWidth) { return 4 * KernelWorkspaceRegion(maxWidth) * sizeof(int32_t); }
};

}  // namespace words
}  // namespace
}  // namespace sorvan
