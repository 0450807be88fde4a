// The fast paths, written once over a small set of vector operations. Each kernels_<isa>.cpp
// defines `Isa` (its vector type and operations, compiled with that TU's flags) and includes
// this file; everything here has internal linkage, so no code compiled for one instruction
// set can be picked by the linker for another.
//
// Results are bit-exact with the reference:
// - Gaussian: the full weighted sum is the same integer whichever pass runs first, and
//   reflection commutes between rows and columns. So for each output row the window's rows
//   (reflected rows are just row pointers) are summed vertically into an L1 row of sums, which
//   is then reflected at both ends and summed horizontally (byte_gaussian_rows.h, which keeps
//   the columns in four phases). In interior rows the centre sample's own share K[m]²·S is left
//   out by giving the centre column the vertical sum without the centre row
//   (K[m]·(V − K[m]·S) = K[m]·V − K[m]²·S). Where a 32-bit multiply is dear, each vertical sum
//   V (< 2^18) is stored split as (V mod 64, V div 64) in the two 16-bit halves of its lane:
//   two such lanes add without carry (126 and 8190 at most), and one multiply-add with the
//   weight pair (K, 64·K) gives K·V exactly. The division by surroundWeight is the
//   multiply-high of core/surround_division.h.
// - Box: running column sums over the reflected rows (16-bit), reflected at both row ends,
//   then a prefix sum along the row, so that every window sum is one subtraction whatever
//   rad, edge bands included.
// - Packed channels (step 2, 3, 4) are gathered into contiguous rows and scattered back into
//   their byte positions; the merge and the copy work on the packed bytes directly and blend
//   only the channel's positions, so the other channels' bytes keep their values.
#pragma once

#include "core/kernels/gaussian_weights.h"
#include "core/kernels/reference_kernels.h"
#include "core/mirror.h"
#include "core/surround_division.h"
#include "core/x86/x86_kernels.h"

namespace sorvan {
namespace {

// ---------------------------------------------------------------------------------------
// Packed rows: gather the samples of a row into contiguous bytes, and scatter them back.
// 128-bit operations only; step 3 needs pshufb (SSSE3) and is gathered by plain loops without.

void GatherRow(uint8_t* out, const uint8_t* row, int32_t width, int32_t step) {
  if (step == 1) {
    memcpy(out, row, static_cast<size_t>(width));
    return;
  }
  const ptrdiff_t span = static_cast<ptrdiff_t>(width - 1) * step + 1;  // bytes the row may read
  int32_t x = 0;
  if (step == 2) {
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (; static_cast<ptrdiff_t>(x + 16) * 2 <= span; x += 16) {
      const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x)), low);
      const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x + 16)), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(a, b));
    }
  } else if (step == 4) {
    const __m128i low = _mm_set1_epi32(0xFF);
    for (; static_cast<ptrdiff_t>(x + 16) * 4 <= span; x += 16) {
      const uint8_t* p = row + 4 * x;
      const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), low);
      const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), low);
      const __m128i c = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), low);
      const __m128i d = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                       _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    }
  }
#if defined(__SSSE3__)
  else if (step == 3) {
    // Sample i of 16 sits at byte 3i of 48: bytes 0–15 hold samples 0–5, 16–31 samples 6–10,
    // 32–47 samples 11–15.
    const __m128i pickA = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i pickB = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i pickC = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    for (; static_cast<ptrdiff_t>(x + 16) * 3 <= span; x += 16) {
      const uint8_t* p = row + 3 * x;
      const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), pickA);
      const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), pickB);
      const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), pickC);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_or_si128(a, b), c));
    }
  }
#endif
  for (; x < width; ++x) out[x] = row[static_cast<ptrdiff_t>(x) * step];
}

// Writes `width` contiguous samples to their positions in a packed row; the bytes between
// them are rewritten with the values they hold.
void ScatterRow(uint8_t* row, const uint8_t* in, int32_t width, int32_t step) {
  if (step == 1) {
    memcpy(row, in, static_cast<size_t>(width));
    return;
  }
  const ptrdiff_t span = static_cast<ptrdiff_t>(width - 1) * step + 1;
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  if (step == 2) {
    const __m128i keep = _mm_set1_epi16(static_cast<int16_t>(0xFF00));
    for (; static_cast<ptrdiff_t>(x + 16) * 2 <= span; x += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
      __m128i* p = reinterpret_cast<__m128i*>(row + 2 * x);
      _mm_storeu_si128(p, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p), keep), _mm_unpacklo_epi8(v, zero)));
      _mm_storeu_si128(p + 1, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p + 1), keep), _mm_unpackhi_epi8(v, zero)));
    }
  } else if (step == 4) {
    const __m128i keep = _mm_set1_epi32(static_cast<int32_t>(0xFFFFFF00u));
    for (; static_cast<ptrdiff_t>(x + 16) * 4 <= span; x += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
      const __m128i lo = _mm_unpacklo_epi8(v, zero);
      const __m128i hi = _mm_unpackhi_epi8(v, zero);
      const __m128i parts[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
      __m128i* p = reinterpret_cast<__m128i*>(row + 4 * x);
      for (int i = 0; i < 4; ++i) {
        _mm_storeu_si128(p + i, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p + i), keep), parts[i]));
      }
    }
  }
#if defined(__SSSE3__)
  else if (step == 3) {
    // Byte j of the 48 takes sample j/3 where j is a multiple of 3; -1 leaves a zero, and
    // those positions keep the row's own bytes.
    const __m128i spreadA = _mm_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5);
    const __m128i spreadB = _mm_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1);
    const __m128i spreadC = _mm_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1);
    const __m128i spreads[3] = {spreadA, spreadB, spreadC};
    for (; static_cast<ptrdiff_t>(x + 16) * 3 <= span; x += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
      __m128i* p = reinterpret_cast<__m128i*>(row + 3 * x);
      for (int i = 0; i < 3; ++i) {
        const __m128i take = _mm_cmpgt_epi8(spreads[i], _mm_set1_epi8(-1));  // 0xFF where a sample goes
        const __m128i old = _mm_loadu_si128(p + i);
        _mm_storeu_si128(p + i, _mm_or_si128(_mm_andnot_si128(take, old), _mm_shuffle_epi8(v, spreads[i])));
      }
    }
  }
#endif
  for (; x < width; ++x) row[static_cast<ptrdiff_t>(x) * step] = in[x];
}

// ---------------------------------------------------------------------------------------
// Channel copy and limit merge, on the packed bytes with a mask of the channel's positions.

// masks[j] marks, within the j-th vector of a row (j taken mod 3), the bytes that belong to
// the channel. A period of three vectors covers step 3 as well as steps 1, 2 and 4.
struct ChannelMasks {
  Isa::V masks[3];
};

ChannelMasks MakeChannelMasks(int32_t step) {
  alignas(64) uint8_t bytes[3 * Isa::kBytes];
  for (int32_t i = 0; i < 3 * Isa::kBytes; ++i) bytes[i] = (i % step == 0) ? 0xFF : 0x00;
  ChannelMasks m;
  for (int j = 0; j < 3; ++j) m.masks[j] = Isa::Load(bytes + j * Isa::kBytes);
  return m;
}

void CopyChannelFast(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height,
                     int32_t width, int32_t step) {
  if (height <= 0 || width <= 0) return;
  if (step == 1) {
    for (int32_t y = 0; y < height; ++y) {
      memcpy(At(dst, dstPitch, y, 0, 1), At(src, srcPitch, y, 0, 1), static_cast<size_t>(width));
    }
    return;
  }
  const ChannelMasks cm = MakeChannelMasks(step);
  const ptrdiff_t span = static_cast<ptrdiff_t>(width - 1) * step + 1;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* d = At(dst, dstPitch, y, 0, step);
    const uint8_t* s = At(src, srcPitch, y, 0, step);
    ptrdiff_t offset = 0;
    for (int32_t j = 0; offset + Isa::kBytes <= span; ++j, offset += Isa::kBytes) {
      const Isa::V mask = cm.masks[j % 3];
      Isa::Store(d + offset, Isa::Or(Isa::And(mask, Isa::Load(s + offset)), Isa::AndNot(mask, Isa::Load(d + offset))));
    }
    for (int32_t x = static_cast<int32_t>((offset + step - 1) / step); x < width; ++x) {
      d[static_cast<ptrdiff_t>(x) * step] = s[static_cast<ptrdiff_t>(x) * step];
    }
  }
}

void LimitMergeFast(uint8_t* out, int32_t outPitch, const uint8_t* src, int32_t srcPitch, const uint8_t* smoothed,
                    int32_t smoothedPitch, int32_t height, int32_t width, int32_t step, int32_t positiveLimit,
                    int32_t negativeLimit) {
  // Saturating byte differences compare against limits 0..255; negative limits (which the
  // filter never sets) take the reference.
  if (positiveLimit < 0 || negativeLimit < 0) {
    LimitMerge<uint8_t>({out, outPitch}, {src, srcPitch}, {smoothed, smoothedPitch}, {width, height, step},
                        {positiveLimit, negativeLimit});
    return;
  }
  if (height <= 0 || width <= 0) return;
  const int32_t p = positiveLimit > 255 ? 255 : positiveLimit;
  const int32_t n = negativeLimit > 255 ? 255 : negativeLimit;
  const Isa::V vp = Isa::Set8(static_cast<uint8_t>(p));
  const Isa::V vn = Isa::Set8(static_cast<uint8_t>(n));
  const ChannelMasks cm = MakeChannelMasks(step);
  const ptrdiff_t span = static_cast<ptrdiff_t>(width - 1) * step + 1;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* o = At(out, outPitch, y, 0, step);
    const uint8_t* s = At(src, srcPitch, y, 0, step);
    const uint8_t* a = At(smoothed, smoothedPitch, y, 0, step);
    ptrdiff_t offset = 0;
    for (int32_t j = 0; offset + Isa::kBytes <= span; ++j, offset += Isa::kBytes) {
      const Isa::V sv = Isa::Load(s + offset);
      const Isa::V av = Isa::Load(a + offset);
      // s − a > p exactly when the saturated s − a still exceeds p; likewise a − s > n.
      const Isa::V above = Isa::SubsU8(Isa::SubsU8(sv, av), vp);
      const Isa::V below = Isa::SubsU8(Isa::SubsU8(av, sv), vn);
      const Isa::V inside = Isa::EqZero8(Isa::Or(above, below));
      const Isa::V take = Isa::AndNot(inside, cm.masks[j % 3]);
      const Isa::V ov = (o == a) ? av : Isa::Load(o + offset);
      Isa::Store(o + offset, Isa::Or(Isa::And(take, sv), Isa::AndNot(take, ov)));
    }
    for (int32_t x = static_cast<int32_t>((offset + step - 1) / step); x < width; ++x) {
      const ptrdiff_t i = static_cast<ptrdiff_t>(x) * step;
      const int32_t d = static_cast<int32_t>(s[i]) - static_cast<int32_t>(a[i]);
      if (d > p || d < -n) o[i] = s[i];
    }
  }
}

// ---------------------------------------------------------------------------------------
// Gaussian surround average.

// Stores the 32-bit lanes of v (each 0..255) as bytes: all kLanes32 of them, or the first
// `count` through a small buffer.
void StoreLanes(uint8_t* out, Isa::V v) { Isa::StoreBytes32(out, v); }

// A vertical sum v (0 ≤ v < 2^18) as (v mod 64) + 2^16·(v div 64); see the top of this file.
int32_t SplitSum(int32_t v) { return (v & 63) | ((v >> 6) << 16); }
Isa::V SplitSum(Isa::V v) { return Isa::Or(Isa::And(v, Isa::Set32(63)), Isa::Shl16(Isa::Shr6(v))); }

// The multiply-add weight pair that turns a split sum into K·v.
int32_t SplitWeight(int32_t k) {
  return static_cast<int32_t>((static_cast<uint32_t>(64 * k) << 16) | static_cast<uint32_t>(k));
}

}  // namespace
}  // namespace sorvan

#include "core/x86/byte_gaussian_rows.h"

namespace sorvan {
namespace {

// Whether the fast Gaussian reproduces the reference for these arguments.
bool GaussianFits(const int32_t* weights, int32_t window, int32_t shift, int32_t surroundWeight,
                  int32_t centreWeightSq) {
  // The decomposition needs the filter's own arithmetic: shift 10, the centre's share equal to
  // K[m]², symmetric weights below 512 (64·K must fit a 16-bit multiply-add; the filter's are at
  // most 464) summing to at most 1024 (so every sum fits), and a divisor the multiply-high
  // covers. Anything else takes the reference.
  if (shift != 10 || window < 3 || window > kMaxWindow || (window & 1) == 0 || !SurroundDivisorFits(surroundWeight)) {
    return false;
  }
  const int32_t m = window / 2;
  if (centreWeightSq != weights[m] * weights[m]) return false;
  int32_t total = 0;
  for (int32_t k = 0; k < window; ++k) {
    if (weights[k] < 0 || weights[k] > 511 || weights[k] != weights[window - 1 - k]) return false;
    total += weights[k];
  }
  return total <= 1024;
}

void GaussianRun(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t* scratch, int32_t height,
                 int32_t width, int32_t step, const int32_t* weights, int32_t window, int32_t surroundWeight,
                 const FusedLimits& limits, int32_t* workspace) {
  const int32_t m = window / 2;
  // A packed channel is first gathered into the scratch plane as contiguous bytes (it holds
  // width·height int32, four times what this needs).
  const uint8_t* plane = src;
  int32_t planePitch = srcPitch;
  if (step != 1) {
    uint8_t* bytes = reinterpret_cast<uint8_t*>(scratch);
    for (int32_t y = 0; y < height; ++y) {
      GatherRow(bytes + static_cast<ptrdiff_t>(y) * width, At(src, srcPitch, y, 0, step), width, step);
    }
    plane = bytes;
    planePitch = width;
  }

  const ByteGaussianJob job = {
      plane, planePitch, dst, dstPitch, {width, height, step}, weights, SurroundReciprocal(surroundWeight), limits};
  switch (m) {
    case 1: ByteGaussianRows<1>(job, workspace); break;
    case 2: ByteGaussianRows<2>(job, workspace); break;
    case 3: ByteGaussianRows<3>(job, workspace); break;
    case 4: ByteGaussianRows<4>(job, workspace); break;
    case 5: ByteGaussianRows<5>(job, workspace); break;
    case 6: ByteGaussianRows<6>(job, workspace); break;
    case 7: ByteGaussianRows<7>(job, workspace); break;
    default: ByteGaussianRows<8>(job, workspace); break;
  }
}

void GaussianFast(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t* scratch,
                  int32_t height, int32_t width, int32_t step, const int32_t* weights, int32_t window, int32_t shift,
                  int32_t surroundWeight, int32_t centreWeightSq, int32_t* workspace) {
  if (!GaussianFits(weights, window, shift, surroundWeight, centreWeightSq)) {
    GaussianSurroundAverage<uint8_t>({dst, dstPitch}, {src, srcPitch}, {width, height, step},
                                     {weights, window, surroundWeight, centreWeightSq}, scratch);
    return;
  }
  GaussianRun(dst, dstPitch, src, srcPitch, scratch, height, width, step, weights, window, surroundWeight,
              {false, 0, 0}, workspace);
}

void GaussianMergeFast(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t* scratch,
                       int32_t height, int32_t width, int32_t step, const int32_t* weights, int32_t window,
                       int32_t shift, int32_t surroundWeight, int32_t centreWeightSq, int32_t positiveLimit,
                       int32_t negativeLimit, int32_t* workspace) {
  // Negative limits (never set by the filter) and foreign arithmetic go the long way.
  if (positiveLimit < 0 || negativeLimit < 0 || !GaussianFits(weights, window, shift, surroundWeight, centreWeightSq)) {
    GaussianFast(dst, dstPitch, src, srcPitch, scratch, height, width, step, weights, window, shift, surroundWeight,
                 centreWeightSq, workspace);
    LimitMergeFast(dst, dstPitch, src, srcPitch, dst, dstPitch, height, width, step, positiveLimit, negativeLimit);
    return;
  }
  const FusedLimits limits = {true, positiveLimit > 255 ? 255 : positiveLimit,
                              negativeLimit > 255 ? 255 : negativeLimit};
  GaussianRun(dst, dstPitch, src, srcPitch, scratch, height, width, step, weights, window, surroundWeight, limits,
              workspace);
}

// ---------------------------------------------------------------------------------------
// Box average.

void AddRow16(int16_t* sums, const uint8_t* add, const uint8_t* drop, int32_t width) {
  int32_t x = 0;
  for (; x + Isa::kLanes16 <= width; x += Isa::kLanes16) {
    Isa::V s = Isa::Load(sums + x);
    s = Isa::Add16(s, Isa::LoadU8To16(add + x));
    if (drop != nullptr) s = Isa::Sub16(s, Isa::LoadU8To16(drop + x));
    Isa::Store(sums + x, s);
  }
  for (; x < width; ++x) sums[x] = static_cast<int16_t>(sums[x] + add[x] - (drop != nullptr ? drop[x] : 0));
}

void BoxFast(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height, int32_t width,
             int32_t step, int32_t window, int32_t* boxOffsets, int32_t* workspace) {
  using V = Isa::V;
  if (window < 3 || window > kMaxWindow || (window & 1) == 0) {
    BoxAverage<uint8_t>({dst, dstPitch}, {src, srcPitch}, {width, height, step}, window, boxOffsets);
    return;
  }
  const int32_t r = window / 2;
  const int32_t scale = (1 << 20) / (window * window);  // truncated, as the reference does

  const size_t region = KernelWorkspaceRegion(width);
  int16_t* padded = reinterpret_cast<int16_t*>(workspace);  // column sums, reflected r at each end
  int16_t* sums = padded + 16;
  int32_t* prefix = workspace + region;  // prefix[j] = Σ padded[16 − r + i], i < j
  uint8_t* bytes = reinterpret_cast<uint8_t*>(workspace + 2 * region);
  const size_t rowBytes = (static_cast<size_t>(width) + 64 + 63) & ~static_cast<size_t>(63);
  uint8_t* addRow = bytes;
  uint8_t* dropRow = bytes + rowBytes;
  uint8_t* rowOut = bytes + 2 * rowBytes;

  auto row = [&](int32_t y, uint8_t* buffer) -> const uint8_t* {
    const uint8_t* p = At(src, srcPitch, y, 0, step);
    if (step == 1) return p;
    GatherRow(buffer, p, width, step);
    return buffer;
  };

  memset(sums, 0, static_cast<size_t>(width) * sizeof(int16_t));
  for (int32_t dy = -r; dy <= r; ++dy) AddRow16(sums, row(Mirror(dy, height), addRow), nullptr, width);

  const V vScale = Isa::Set32(scale);
  const int32_t paddedWidth = width + 2 * r;
  for (int32_t y = 0; y < height; ++y) {
    if (y > 0) {
      const uint8_t* add = row(Mirror(y + r, height), addRow);
      const uint8_t* drop = row(Mirror(y - 1 - r, height), dropRow);
      AddRow16(sums, add, drop, width);
    }
    for (int32_t d = 1; d <= r; ++d) {
      sums[-d] = sums[d];
      sums[width - 1 + d] = sums[width - 1 - d];
    }
    // prefix[0] = 0; prefix[j + 1] = prefix[j] + column sum of padded column j (column j − r).
    const int16_t* first = sums - r;
    prefix[0] = 0;
    V carry = Isa::Zero();
    for (int32_t j = 0; j < paddedWidth; j += Isa::kLanes32) {
      const V v = Isa::Add32(Isa::PrefixSum32(Isa::LoadI16To32(first + j)), carry);
      Isa::Store(prefix + 1 + j, v);
      carry = Isa::BroadcastLast32(v);
    }

    uint8_t* dstRow = At(dst, dstPitch, y, 0, step);
    for (int32_t x = 0; x < width; x += Isa::kLanes32) {
      const V sum = Isa::Sub32(Isa::Load(prefix + x + window), Isa::Load(prefix + x));
      const V q = Isa::Shr20(Isa::Mullo32(sum, vScale));
      if (step == 1 && x + Isa::kLanes32 <= width) {
        StoreLanes(dstRow + x, q);
      } else {
        StoreLanes(rowOut + x, q);
      }
    }
    if (step == 1) {
      const int32_t done = width - width % Isa::kLanes32;
      if (done < width) memcpy(dstRow + done, rowOut + done, static_cast<size_t>(width - done));
    } else {
      ScatterRow(dstRow, rowOut, width, step);
    }
  }
}

// The table's entries: the shared signatures unpacked into the routines above.
void GaussianEntry(Channel<uint8_t> dst, Channel<const uint8_t> src, const ChannelShape& s, const GaussianParams& g,
                   const ScratchBlock& scratch) {
  GaussianFast(dst.base, dst.pitch, src.base, src.pitch, scratch.Plane<int32_t>(), s.height, s.width, s.step, g.taps,
               g.window, 10, g.surroundWeight, g.centreWeightSq, scratch.Workspace());
}

void GaussianMergeEntry(Channel<uint8_t> dst, Channel<const uint8_t> src, const ChannelShape& s,
                        const GaussianParams& g, const MergeLimits<uint8_t>& limits, const ScratchBlock& scratch) {
  GaussianMergeFast(dst.base, dst.pitch, src.base, src.pitch, scratch.Plane<int32_t>(), s.height, s.width, s.step,
                    g.taps, g.window, 10, g.surroundWeight, g.centreWeightSq, limits.positive, limits.negative,
                    scratch.Workspace());
}

void BoxEntry(Channel<uint8_t> dst, Channel<const uint8_t> src, const ChannelShape& s, int32_t window,
              const ScratchBlock& scratch) {
  BoxFast(dst.base, dst.pitch, src.base, src.pitch, s.height, s.width, s.step, window, scratch.BoxOffsets(),
          scratch.Workspace());
}

void LimitMergeEntry(Channel<uint8_t> out, Channel<const uint8_t> src, Channel<const uint8_t> smoothed,
                     const ChannelShape& s, const MergeLimits<uint8_t>& limits) {
  LimitMergeFast(out.base, out.pitch, src.base, src.pitch, smoothed.base, smoothed.pitch, s.height, s.width, s.step,
                 limits.positive, limits.negative);
}

void CopyEntry(Channel<uint8_t> dst, Channel<const uint8_t> src, const ChannelShape& s) {
  CopyChannelFast(dst.base, dst.pitch, src.base, src.pitch, s.height, s.width, s.step);
}

size_t WorkspaceBytes(int32_t maxWidth) { return KernelWorkspaceEntries(maxWidth) * sizeof(int32_t); }

constexpr SampleKernels<uint8_t> MakeKernels(const char* name) {
  return {name, &GaussianEntry, &BoxEntry, &LimitMergeEntry, &CopyEntry, &GaussianMergeEntry, &WorkspaceBytes};
}

}  // namespace
}  // namespace sorvan
