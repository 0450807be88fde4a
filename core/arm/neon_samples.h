// Rows of samples on NEON for every sample type: one vector of samples (16 bytes, 8 words or
// 4 floats), the limit merge on it, and the row walks around it. A row at least one vector
// wide is walked in whole vectors, the last one ending at the row's end and overlapping the
// one before it: every result there is written again with the value it already has (the
// merge leaves a merged sample as it is, since 0 lies within the limits). Narrower rows are
// merged sample by sample.
#pragma once

#include "core/arm/neon_interleaved.h"
#include "core/portability.h"
#include "core/simd/packed_rows.h"

namespace sorvan {
namespace {

// f(x) for x = 0, lanes, 2·lanes, … and a last x = width − lanes; width ≥ lanes. One call of f,
// so that it is inlined.
template <typename F>
[[gnu::always_inline]] inline void ForVectors(int32_t width, int32_t lanes, F&& f) {
  const int32_t last = width - lanes;
  for (int32_t x = 0;; x += lanes) {
    if (x > last) x = last;
    f(x);
    if (x == last) return;
  }
}

template <typename T>
struct NeonSamples;

// The integer merge: s keeps its place where s > a + p or a > s + n, the sums saturated (a
// saturated sum exceeds no sample, as the true one does not). Limits lie within 0 … the
// sample's maximum.
template <typename T, typename Vector>
struct IntegerSamples {
  using V = Vector;
  using Mask = Vector;
  static constexpr int32_t kLanes = 16 / sizeof(T);
  struct Limits {
    V positive, negative;
    int32_t p, n;
  };
  static bool Outside(T s, T a, const Limits& l) { return s - a > l.p || a - s > l.n; }
};

template <>
struct NeonSamples<uint8_t> : IntegerSamples<uint8_t, uint8x16_t> {
  using IntegerSamples::Outside;
  static Limits MakeLimits(int32_t p, int32_t n) {
    return {vdupq_n_u8(static_cast<uint8_t>(p)), vdupq_n_u8(static_cast<uint8_t>(n)), p, n};
  }
  static V Load(const uint8_t* p) { return vld1q_u8(p); }
  static void Store(uint8_t* p, V v) { vst1q_u8(p, v); }
  static Mask Outside(V s, V a, const Limits& l) {
    return vorrq_u8(vcgtq_u8(s, vqaddq_u8(a, l.positive)), vcgtq_u8(a, vqaddq_u8(s, l.negative)));
  }
  static V Select(Mask m, V a, V b) { return vbslq_u8(m, a, b); }
};

template <>
struct NeonSamples<uint16_t> : IntegerSamples<uint16_t, uint16x8_t> {
  using IntegerSamples::Outside;
  static Limits MakeLimits(int32_t p, int32_t n) {
    return {vdupq_n_u16(static_cast<uint16_t>(p)), vdupq_n_u16(static_cast<uint16_t>(n)), p, n};
  }
  static V Load(const uint16_t* p) { return vld1q_u16(p); }
  static void Store(uint16_t* p, V v) { vst1q_u16(p, v); }
  static Mask Outside(V s, V a, const Limits& l) {
    return vorrq_u16(vcgtq_u16(s, vqaddq_u16(a, l.positive)), vcgtq_u16(a, vqaddq_u16(s, l.negative)));
  }
  static V Select(Mask m, V a, V b) { return vbslq_u16(m, a, b); }
};

// Float: s − a compared in double, as the reference compares, whatever the limits' sign.
template <>
struct NeonSamples<float> {
  using V = float32x4_t;
  using Mask = uint32x4_t;
  static constexpr int32_t kLanes = 4;
  struct Limits {
    float64x2_t positive, negativeLimit;  // p and −n
    double p, n;
  };
  static Limits MakeLimits(double p, double n) { return {vdupq_n_f64(p), vdupq_n_f64(-n), p, n}; }
  static V Load(const float* p) { return vld1q_f32(p); }
  static void Store(float* p, V v) { vst1q_f32(p, v); }
  static uint64x2_t Outside(float64x2_t d, const Limits& l) {
    return vorrq_u64(vcgtq_f64(d, l.positive), vcltq_f64(d, l.negativeLimit));
  }
  static Mask Outside(V s, V a, const Limits& l) {
    const uint64x2_t low = Outside(vsubq_f64(vcvt_f64_f32(vget_low_f32(s)), vcvt_f64_f32(vget_low_f32(a))), l);
    const uint64x2_t high = Outside(vsubq_f64(vcvt_high_f64_f32(s), vcvt_high_f64_f32(a)), l);
    return vuzp1q_u32(vreinterpretq_u32_u64(low), vreinterpretq_u32_u64(high));
  }
  static V Select(Mask m, V a, V b) { return vbslq_f32(m, a, b); }
  static bool Outside(float s, float a, const Limits& l) {
    const double d = static_cast<double>(s) - static_cast<double>(a);
    return d > l.p || d < -l.n;
  }
};

// out[x] = src[x] where it lies beyond the limits around smoothed[x], out[x] as it is
// otherwise; `out` may be `smoothed` itself. Contiguous rows.
template <typename T>
void MergeRow(T* out, const T* src, const T* smoothed, int32_t width, const typename NeonSamples<T>::Limits& l) {
  using S = NeonSamples<T>;
  if (width < S::kLanes) {
    for (int32_t x = 0; x < width; ++x) {
      if (S::Outside(src[x], smoothed[x], l)) out[x] = src[x];
    }
    return;
  }
  const typename NeonSamples<T>::Limits limits = l;  // in registers across the stores
  ForVectors(width, S::kLanes, [&](int32_t x) {
    const typename S::V s = S::Load(src + x);
    const typename S::V a = S::Load(smoothed + x);
    S::Store(out + x, S::Select(S::Outside(s, a, limits), s, out == smoothed ? a : S::Load(out + x)));
  });
}

// Where a row of averages goes: a plain destination row at least one vector wide takes whole
// vectors straight from `average(x)` (the kLanes averages from column x), merged on the way;
// packed and narrower rows go through `rowOut` (the width rounded up to whole vectors).
template <typename T, typename Average>
void WriteRow(const Average& average, const T* srcRow, T* dstRow, T* rowOut, const ChannelShape& s,
              const typename NeonSamples<T>::Limits* limits) {
  using S = NeonSamples<T>;
  if (s.step == 1 && s.width >= S::kLanes) {
    const typename S::Limits l = limits != nullptr ? *limits : typename S::Limits{};
    ForVectors(s.width, S::kLanes, [&](int32_t x) {
      typename S::V a = average(x);
      if (limits != nullptr) {
        const typename S::V v = S::Load(srcRow + x);
        a = S::Select(S::Outside(v, a, l), v, a);
      }
      S::Store(dstRow + x, a);
    });
    return;
  }
  for (int32_t x = 0; x < s.width; x += S::kLanes) S::Store(rowOut + x, average(x));
  if (limits != nullptr) MergeRow(rowOut, srcRow, rowOut, s.width, *limits);
  ScatterRow(dstRow, rowOut, s.width, s.step);
}

// f(x) for each block of kLanes samples of a packed row of `width` samples at step S whose
// bytes lie within the row; returns the first sample past the blocks.
template <typename T, int32_t S, typename F>
int32_t ForPackedBlocks(int32_t width, F&& f) {
  constexpr int32_t kLanes = NeonSamples<T>::kLanes;
  int32_t x = 0;
  for (; static_cast<ptrdiff_t>(x + kLanes) * S <= PackedSpan(width, S); x += kLanes) f(x);
  return x;
}

// For every packed row: block(s, a, o) gives the new samples of `out` in each whole block from
// the source's, the smoothed channel's and its own; sample(o, s, a) writes each sample past
// the blocks through pointers to the three.
template <typename T, int32_t S, typename Block, typename Sample>
void PackedRows(Channel<T> out, Channel<const T> src, Channel<const T> smoothed, const ChannelShape& shape,
                Block&& block, Sample&& sample) {
  for (int32_t y = 0; y < shape.height; ++y) {
    T* o = RowOf(out, y);
    const T* s = RowOf(src, y);
    const T* a = RowOf(smoothed, y);
    const int32_t done = ForPackedBlocks<T, S>(shape.width, [&](int32_t x) {
      const ptrdiff_t i = static_cast<ptrdiff_t>(x) * S;
      auto outBlock = Interleaved<S>::Load(o + i);
      outBlock.val[0] = block(Interleaved<S>::Load(s + i).val[0], Interleaved<S>::Load(a + i).val[0], outBlock.val[0]);
      Interleaved<S>::Store(o + i, outBlock);
    });
    for (ptrdiff_t i = static_cast<ptrdiff_t>(done) * S; i < PackedSpan(shape.width, S); i += S) {
      sample(o + i, s + i, a + i);
    }
  }
}

// The packed channel's limit merge and copy, S being its step (2, 3 or 4).
template <typename T, int32_t S>
void MergePacked(Channel<T> out, Channel<const T> src, Channel<const T> smoothed, const ChannelShape& shape,
                 const typename NeonSamples<T>::Limits& l) {
  using N = NeonSamples<T>;
  PackedRows<T, S>(
      out, src, smoothed, shape,
      [&](typename N::V s, typename N::V a, typename N::V o) { return N::Select(N::Outside(s, a, l), s, o); },
      [&](T* o, const T* s, const T* a) {
        if (N::Outside(*s, *a, l)) *o = *s;
      });
}

template <typename T, int32_t S>
void CopyPacked(Channel<T> dst, Channel<const T> src, const ChannelShape& shape) {
  using V = typename NeonSamples<T>::V;
  PackedRows<T, S>(
      dst, src, src, shape, [](V s, V, V) { return s; }, [](T* o, const T* s, const T*) { *o = *s; });
}

}  // namespace
}  // namespace sorvan
