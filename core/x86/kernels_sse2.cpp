// SSE2 fast paths: the x86-64 baseline, and for 32-bit x86 chosen when the CPU has SSE2.
#include "core/x86/x86_kernels.h"

#include <emmintrin.h>

#include "core/x86/packed_bytes.h"

namespace sorvan {
namespace {

struct Isa : PackedBytes128 {
  using V = __m128i;
  static constexpr int32_t kBytes = 16;
  static constexpr int32_t kLanes16 = 8;
  static constexpr int32_t kLanes32 = 4;
  // The 8-bit Gaussian's choices (byte_gaussian_rows.h): SSE2 has no 32-bit low multiply and
  // no word blend.
  static constexpr bool kSplitSums = true;
  static constexpr bool kPairTaps = false;

  static V Zero() { return _mm_setzero_si128(); }
  static V Set8(uint8_t v) { return _mm_set1_epi8(static_cast<char>(v)); }
  static V Set32(int32_t v) { return _mm_set1_epi32(v); }
  static V Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static void Store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V SaturatingSubU8(V a, V b) { return _mm_subs_epu8(a, b); }
  static V EqZero8(V a) { return _mm_cmpeq_epi8(a, _mm_setzero_si128()); }

  static V LoadU8To16(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
  }
  static V LoadI16To32(const int16_t* p) {
    const V v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
  }
  static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
  static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
  static V InterleaveLow16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V InterleaveHigh16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static V DotPairs(V a, V w) { return _mm_madd_epi16(a, w); }
  static V AddDotPairs(V acc, V a, V w) { return _mm_add_epi32(acc, _mm_madd_epi16(a, w)); }
  // Interleaving keeps lane order in 128 bits: lo holds elements 0–3, hi 4–7.
  static void ColumnOrder32(V lo, V hi, V* first, V* second) {
    *first = lo;
    *second = hi;
  }

  static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
  static V Sub32(V a, V b) { return _mm_sub_epi32(a, b); }
  template <int S>
  static V ShrU16(V a) {
    return _mm_srli_epi16(a, S);
  }
  template <int S>
  static V ShrU32(V a) {
    return _mm_srli_epi32(a, S);
  }
  template <int S>
  static V ShlU32(V a) {
    return _mm_slli_epi32(a, S);
  }
  // SSE2 has no 32-bit low multiply: two 32×32→64 products, even and odd lanes.
  static V Mul32(V a, V b) {
    const V even = _mm_mul_epu32(a, b);
    const V odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
  }
  // (a·b) >> S per lane, b in every lane, through the 64-bit products of the even lanes and of
  // the odd ones. S ≥ 32: the odd lanes moved down by a shuffle, their result read from the
  // product's high dword; below, the odd products shifted back up.
  template <int S>
  static V MulShr(V a, V b) {
    const V even = _mm_srli_epi64(_mm_mul_epu32(a, b), S);
    if constexpr (S >= 32) {
      const V odd = _mm_srli_epi32(_mm_mul_epu32(_mm_shuffle_epi32(a, 0xF5), b), S - 32);
      return _mm_or_si128(even, _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
    } else {
      const V odd = _mm_slli_epi64(_mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(a, 32), b), S), 32);
      return _mm_or_si128(_mm_and_si128(even, _mm_set_epi32(0, -1, 0, -1)), odd);
    }
  }
  static void StoreLanes32As8(uint8_t* p, V v) {
    const V w = _mm_packs_epi32(v, v);
    const int32_t b = _mm_cvtsi128_si32(_mm_packus_epi16(w, w));
    memcpy(p, &b, 4);
  }

  // For the B-bit paths (word_kernel_templates.h).
  static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  static V SaturatingSubU16(V a, V b) { return _mm_subs_epu16(a, b); }
  static V EqZero16(V a) { return _mm_cmpeq_epi16(a, _mm_setzero_si128()); }
  static V LoadU16To32(const uint16_t* p) {
    return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
  }
  // Lanes of 0..65535 as words; SSE2 packs signed only, so the values are moved down by 2^15.
  static void StoreLanes32As16(uint16_t* p, V v) {
    const V bias = _mm_set1_epi32(32768);
    const V w = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(v, bias), v), _mm_set1_epi16(-32768));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), w);
  }
  // ⌊(high·2^13 + low)·reciprocal + 2^−21⌋ per lane in double precision (see the header).
  static V FloorDivideSplit(V high, V low, double reciprocal) {
    const __m128d r = _mm_set1_pd(reciprocal);
    const __m128d unit = _mm_set1_pd(8192.0);
    const __m128d bias = _mm_set1_pd(1.0 / (1 << 21));
    auto half = [&](V h, V l) {
      const __m128d d = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(h), unit), _mm_cvtepi32_pd(l));
      return _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(d, r), bias));
    };
    const V lo = half(high, low);
    const V hi = half(_mm_srli_si128(high, 8), _mm_srli_si128(low, 8));
    return _mm_unpacklo_epi64(lo, hi);
  }
  static V PrefixSum32(V v) {
    v = _mm_add_epi32(v, _mm_slli_si128(v, 4));
    return _mm_add_epi32(v, _mm_slli_si128(v, 8));
  }
  static V BroadcastLast32(V v) { return _mm_shuffle_epi32(v, 0xFF); }
};

}  // namespace
}  // namespace sorvan

#include "core/simd/byte_kernel_templates.h"
#include "core/simd/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kBytes = FastKernels<ByteKernels>::Table("sse2");
constexpr SampleKernels<uint16_t> kWords = FastKernels<words::WordKernels>::Table("sse2");
}  // namespace
constexpr KernelSet kSse2Kernels = {&kBytes, &kWords, nullptr};
}  // namespace sorvan
