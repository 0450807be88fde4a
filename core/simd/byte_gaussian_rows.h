// The 8-bit Gaussian average, one output row at a time: a vertical pass over the window's rows
// (reflected rows are just row pointers) into vertical sums kept in L1, then the horizontal
// pass, the division and the limit merge in one loop. Included after the translation unit's
// `Isa`.
//
// Columns are kept in four phases: the vertical sum of column 4n + p is entry n of phase p.
// That is the order in which a vector of bytes falls apart without any shuffle: the 16-bit
// lanes of (bytes & 0x00FF) hold columns 4n and 4n + 2, those of the same vector read one byte
// further on columns 4n + 1 and 4n + 3, and a multiply-add with the weight in one half of each
// 32-bit lane picks one phase (where Isa::kPairTaps, two taps' row sums are first blended into
// the two halves, so that one multiply-add takes both). In the horizontal pass column
// 4n + p + d is entry n + ⌊(p + d)/4⌋ of phase (p + d) mod 4, a plain unaligned load; the four
// phases' results, one byte each per 32-bit lane, are shifted and or-ed back into column order.
// So both passes use no shuffle on any instruction set (except the multiply-high's), and any
// vector width takes the same code.
#pragma once

#include "core/mirror.h"
#include "core/simd/kernel_workspace.h"
#include "core/simd/packed_rows.h"
#include "core/simd/split_sums.h"
#include "core/surround_division.h"

namespace sorvan {
namespace {

// Floor division by 4 and the phase of a column that may lie left of the channel (≥ −16).
constexpr int32_t PhaseIndex(int32_t column) { return (column + 16) / kPhases - 16 / kPhases; }
constexpr int32_t PhaseOf(int32_t column) { return (column + 16) % kPhases; }

// One row of vertical sums in phase order.
struct PhaseRow {
  int32_t* phase0;   // entry 0 of phase 0
  ptrdiff_t stride;  // entries from one phase to the next

  int32_t* Phase(int32_t p) const { return phase0 + p * stride; }
  int32_t& Column(int32_t x) const { return Phase(PhaseOf(x))[PhaseIndex(x)]; }
};

// Vertical weights by tap distance d (0 = centre): K_d in the low or the high 16 bits of each
// 32-bit lane, selecting the even or the odd column of the lane's two.
template <int32_t M>
struct VerticalWeights {
  Isa::V low[M + 1];
  Isa::V high[M + 1];
  Isa::V pair[M + 1];  // K_d low, K_{d+1} high
};

// The vertical sums of one half of the columns x … x + kBytes − 1 (rows already offset to x)
// into entries n … of two phases: full sums, and for interior rows the sums without the centre
// row. kOdd false: columns 4n and 4n + 2 (phases 0 and 2); true: 4n + 1 and 4n + 3. Each row
// is loaded once for each half, which keeps the live vectors within sixteen registers.
// I is Isa, as a template parameter so that the pairing branch is only compiled for the
// instruction sets that pair.
template <int32_t M, bool kOdd, bool kShiftOdd = false, typename I = Isa>
[[gnu::always_inline]] inline void VerticalHalf(const uint8_t* const* rows, ptrdiff_t x, const VerticalWeights<M>& w,
                                                ptrdiff_t n, PhaseRow full, const PhaseRow* surround) {
  using V = Isa::V;
  // The bytes of this half as 16-bit values: the odd columns are the even ones of the vector
  // one byte further on, which is read (one byte past the block) rather than shifted, except
  // in the row's last whole block (kShiftOdd).
  const V lowBytes = Isa::Set32(0x00FF00FF);
  auto half = [&](const uint8_t* row) {
    if constexpr (kOdd && kShiftOdd) return Isa::ShrU16<8>(Isa::Load(row + x));
    return Isa::And(Isa::Load(row + x + (kOdd ? 1 : 0)), lowBytes);
  };
  V low = Isa::Zero();
  V high = Isa::Zero();
  int32_t d = 1;
  if constexpr (I::kPairTaps) {
#pragma GCC unroll 4
    for (; d + 1 <= M; d += 2) {
      const V t1 = Isa::Add16(half(rows[M - d]), half(rows[M + d]));
      const V t2 = Isa::Add16(half(rows[M - d - 1]), half(rows[M + d + 1]));
      low = Isa::AddDotPairs(low, I::BlendHighWords(t1, Isa::ShlU32<16>(t2)), w.pair[d]);
      high = Isa::AddDotPairs(high, I::BlendHighWords(Isa::ShrU32<16>(t1), t2), w.pair[d]);
    }
  }
#pragma GCC unroll 8
  for (; d <= M; ++d) {
    // Opposite rows share a weight; their sum (≤ 510) fits 16 bits.
    const V pair = Isa::Add16(half(rows[M - d]), half(rows[M + d]));
    low = Isa::AddDotPairs(low, pair, w.low[d]);
    high = Isa::AddDotPairs(high, pair, w.high[d]);
  }
  const V centre = half(rows[M]);
  constexpr int32_t kLowPhase = kOdd ? 1 : 0;
  Isa::Store(full.Phase(kLowPhase) + n, StoredSum(Isa::AddDotPairs(low, centre, w.low[0])));
  Isa::Store(full.Phase(kLowPhase + 2) + n, StoredSum(Isa::AddDotPairs(high, centre, w.high[0])));
  if (surround != nullptr) {
    Isa::Store(surround->Phase(kLowPhase) + n, StoredSum(low));
    Isa::Store(surround->Phase(kLowPhase + 2) + n, StoredSum(high));
  }
}

// The vertical sums of the blocks of columns [0, end), end a multiple of kBytes below the width
// (each block reads one byte beyond itself).
template <int32_t M>
void VerticalRow(const uint8_t* const* rows, int32_t end, const VerticalWeights<M>& w, PhaseRow full,
                 const PhaseRow* surround) {
  // Local copies, which the compiler can keep in registers across the stores.
  const uint8_t* r[2 * M + 1];
  for (int32_t k = 0; k <= 2 * M; ++k) r[k] = rows[k];
  if (surround == nullptr) {
    for (int32_t x = 0; x < end; x += Isa::kBytes) {
      VerticalHalf<M, false>(r, x, w, x / kPhases, full, nullptr);
      VerticalHalf<M, true>(r, x, w, x / kPhases, full, nullptr);
    }
    return;
  }
  const PhaseRow centreless = *surround;
  for (int32_t x = 0; x < end; x += Isa::kBytes) {
    VerticalHalf<M, false>(r, x, w, x / kPhases, full, &centreless);
    VerticalHalf<M, true>(r, x, w, x / kPhases, full, &centreless);
  }
}

// One phase of the horizontal pass over a block starting at entry n: Σ K_d·(V[x − d] + V[x + d])
// plus the centre's K_0·centre[x] and the rounding term, then the floor division: the
// multiply-high by the surround weight's reciprocal in interior rows, >> 20 in edge rows.
template <int32_t M, bool kInterior, int32_t P>
Isa::V HorizontalPhase(PhaseRow full, PhaseRow centre, const Isa::V* splitWeights, Isa::V reciprocal, ptrdiff_t n) {
  using V = Isa::V;
  V acc = WeightedSum(Isa::Set32(512), Isa::Load(centre.Phase(P) + n), splitWeights[0]);
#pragma GCC unroll 8
  for (int32_t d = 1; d <= M; ++d) {
    const V right = Isa::Load(full.Phase(PhaseOf(P + d)) + n + PhaseIndex(P + d));
    const V left = Isa::Load(full.Phase(PhaseOf(P - d)) + n + PhaseIndex(P - d));
    acc = WeightedSum(acc, Isa::Add32(left, right), splitWeights[d]);
  }
  return kInterior ? Isa::MulShr<kSurroundShift>(acc, reciprocal) : Isa::ShrU32<20>(acc);
}

// The kBytes finished samples of the block at entry n, in column order.
template <int32_t M, bool kInterior>
Isa::V HorizontalBlock(PhaseRow full, PhaseRow centre, const Isa::V* splitWeights, Isa::V reciprocal, ptrdiff_t n) {
  const Isa::V p0 = HorizontalPhase<M, kInterior, 0>(full, centre, splitWeights, reciprocal, n);
  const Isa::V p1 = HorizontalPhase<M, kInterior, 1>(full, centre, splitWeights, reciprocal, n);
  const Isa::V p2 = HorizontalPhase<M, kInterior, 2>(full, centre, splitWeights, reciprocal, n);
  const Isa::V p3 = HorizontalPhase<M, kInterior, 3>(full, centre, splitWeights, reciprocal, n);
  return Isa::Or(Isa::Or(p0, Isa::ShlU32<8>(p1)), Isa::Or(Isa::ShlU32<16>(p2), Isa::ShlU32<24>(p3)));
}

// All ones in the bytes where the source lies within the limits of the smoothed byte: s − a ≤ p
// and a − s ≤ n exactly when the saturated differences do not exceed them (limits 0 … 255).
Isa::V WithinLimits(Isa::V source, Isa::V smoothed, Isa::V p, Isa::V n) {
  return Isa::EqZero8(Isa::Or(Isa::SaturatingSubU8(Isa::SaturatingSubU8(source, smoothed), p),
                              Isa::SaturatingSubU8(Isa::SaturatingSubU8(smoothed, source), n)));
}

// The smoothed bytes, or the source's where it lies more than p above or n below them.
Isa::V MergeBytes(Isa::V source, Isa::V smoothed, Isa::V p, Isa::V n) {
  const Isa::V inside = WithinLimits(source, smoothed, p, n);
  return Isa::Or(Isa::And(inside, smoothed), Isa::AndNot(inside, source));
}

uint8_t MergeByte(uint8_t source, uint8_t smoothed, const FusedLimits<uint8_t>& limits) {
  const int32_t d = static_cast<int32_t>(source) - static_cast<int32_t>(smoothed);
  return (d > limits.positive || d < -limits.negative) ? source : smoothed;
}

template <int32_t M, bool kInterior>
void FinishRow(const GaussianJob<uint8_t>& job, PhaseRow full, PhaseRow centre, const Isa::V* splitWeights,
               Isa::V reciprocal, const uint8_t* srcRow, uint8_t* dstRow, uint8_t* rowOut) {
  using V = Isa::V;
  const int32_t width = job.shape.width;
  const bool direct = job.shape.step == 1;
  const V vp = Isa::Set8(static_cast<uint8_t>(job.limits.positive));
  const V vn = Isa::Set8(static_cast<uint8_t>(job.limits.negative));
  const bool merge = job.limits.enabled;
  int32_t x = 0;
  for (; x < width; x += Isa::kBytes) {
    V bytes = HorizontalBlock<M, kInterior>(full, centre, splitWeights, reciprocal, x / kPhases);
    if (!direct || x + Isa::kBytes > width) {
      Isa::Store(rowOut + x, bytes);
      continue;
    }
    if (merge) bytes = MergeBytes(Isa::Load(srcRow + x), bytes, vp, vn);
    Isa::Store(dstRow + x, bytes);
  }
  // What went to rowOut: the last partial block of a plain row, or a packed row whole.
  const int32_t from = direct ? width - width % Isa::kBytes : 0;
  if (job.limits.enabled) {
    for (int32_t i = from; i < width; ++i) rowOut[i] = MergeByte(srcRow[i], rowOut[i], job.limits);
  }
  if (direct) {
    memcpy(dstRow + from, rowOut + from, static_cast<size_t>(width - from));
  } else {
    ScatterRow(dstRow, rowOut, width, job.shape.step);
  }
}

// Not inlined: eight copies in one frame would need more than a page of stack for the spilled
// weight vectors on 32-bit x86, where Windows then wants a stack probe the DLL does not link.
template <int32_t M>
__attribute__((noinline)) void ByteGaussianRows(const GaussianJob<uint8_t>& job, int32_t* workspace) {
  using V = Isa::V;
  const int32_t width = job.shape.width;
  const int32_t height = job.shape.height;
  const ByteGaussianLayout layout = ByteGaussianLayout::For(width);
  // Every entry a block may read is defined, whatever lies beyond the channel's last column.
  memset(workspace, 0, static_cast<size_t>(layout.Entries()) * sizeof(int32_t));
  const PhaseRow full = {workspace + kPhaseFront, layout.phaseStride};
  const PhaseRow surround = {full.phase0 + kPhases * layout.phaseStride, layout.phaseStride};
  uint8_t* rowOut = reinterpret_cast<uint8_t*>(surround.phase0 - kPhaseFront + kPhases * layout.phaseStride);
  uint8_t* tail = rowOut + layout.rowOutEntries * 4;

  const V reciprocal = Isa::Set32(static_cast<int32_t>(SurroundReciprocal(job.g.surroundWeight)));
  VerticalWeights<M> vertical;
  V splitWeights[M + 1];
  for (int32_t d = 0; d <= M; ++d) {
    const int32_t k = job.g.taps[M + d];
    vertical.low[d] = Isa::Set32(k);
    vertical.high[d] = Isa::Set32(static_cast<int32_t>(static_cast<uint32_t>(k) << 16));
    const int32_t next = d < M ? job.g.taps[M + d + 1] : 0;
    vertical.pair[d] = Isa::Set32(static_cast<int32_t>((static_cast<uint32_t>(next) << 16) | static_cast<uint32_t>(k)));
    splitWeights[d] = Isa::Set32(HorizontalWeight(k));
  }

  // Whole blocks read one byte beyond themselves but the row's last one; a partial block at the
  // end goes through zero-padded copies of the rows.
  const int32_t wholeBlocks = width - width % Isa::kBytes;
  const int32_t readAhead = width % Isa::kBytes == 0 ? wholeBlocks - Isa::kBytes : wholeBlocks;
  const uint8_t* rows[2 * M + 1];
  const uint8_t* tailRows[2 * M + 1];
  for (int32_t k = 0; k <= 2 * M; ++k) tailRows[k] = tail + k * kTailBlockBytes;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t k = 0; k <= 2 * M; ++k) {
      rows[k] = RowOf(job.plane, Mirror(y - M + k, height));
    }
    const bool interior = y >= M && y < height - M;
    const PhaseRow* centreless = interior ? &surround : nullptr;
    VerticalRow<M>(rows, readAhead, vertical, full, centreless);
    if (readAhead < wholeBlocks) {
      VerticalHalf<M, false>(rows, readAhead, vertical, readAhead / kPhases, full, centreless);
      VerticalHalf<M, true, true>(rows, readAhead, vertical, readAhead / kPhases, full, centreless);
    }
    if (wholeBlocks < width) {
      for (int32_t k = 0; k <= 2 * M; ++k) {
        memcpy(tail + k * kTailBlockBytes, rows[k] + wholeBlocks, static_cast<size_t>(width - wholeBlocks));
      }
      VerticalHalf<M, false>(tailRows, 0, vertical, wholeBlocks / kPhases, full, centreless);
      VerticalHalf<M, true>(tailRows, 0, vertical, wholeBlocks / kPhases, full, centreless);
    }
    for (int32_t d = 1; d <= M; ++d) {  // the reflection of ReflectEnds, across phases
      full.Column(-d) = full.Column(d);
      full.Column(width - 1 + d) = full.Column(width - 1 - d);
    }

    // rows[M] is row y itself: the source row the merge compares with.
    uint8_t* dstRow = RowOf(job.dst, y);
    if (interior) {
      FinishRow<M, true>(job, full, surround, splitWeights, reciprocal, rows[M], dstRow, rowOut);
    } else {
      FinishRow<M, false>(job, full, full, splitWeights, reciprocal, rows[M], dstRow, rowOut);
    }
  }
}

}  // namespace
}  // namespace sorvan
