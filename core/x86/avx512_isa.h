// The AVX-512 (F, BW, VL) vector operations for the shared templates. Compiled twice: once as
// is and once with VNNI, where the multiply-add and its accumulation are one instruction.
#pragma once

#include <immintrin.h>

#include "core/portability.h"
#include "core/x86/packed_bytes.h"

namespace sorvan {
namespace {

struct Isa : PackedBytes128 {
  using V = __m512i;
  static constexpr int32_t kBytes = 64;
  static constexpr int32_t kLanes16 = 32;
  static constexpr int32_t kLanes32 = 16;
  // The 8-bit Gaussian's choices (byte_gaussian_rows.h): with VNNI a multiply-add and its
  // accumulation are one instruction.
  static constexpr bool kSplitSums = true;
  static constexpr bool kPairTaps = false;

  static V Zero() { return _mm512_setzero_si512(); }
  static V Set8(uint8_t v) { return _mm512_set1_epi8(static_cast<char>(v)); }
  static V Set32(int32_t v) { return _mm512_set1_epi32(v); }
  static V Load(const void* p) { return _mm512_loadu_si512(p); }
  static void Store(void* p, V v) { _mm512_storeu_si512(p, v); }

  static V And(V a, V b) { return _mm512_and_si512(a, b); }
  static V AndNot(V a, V b) { return _mm512_andnot_si512(a, b); }
  static V Or(V a, V b) { return _mm512_or_si512(a, b); }
  static V SaturatingSubU8(V a, V b) { return _mm512_subs_epu8(a, b); }
  static V EqZero8(V a) { return _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(a, _mm512_setzero_si512())); }

  static V LoadU8To16(const uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  static V LoadI16To32(const int16_t* p) {
    return _mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  static V Add16(V a, V b) { return _mm512_add_epi16(a, b); }
  static V Sub16(V a, V b) { return _mm512_sub_epi16(a, b); }
  static V InterleaveLow16(V a, V b) { return _mm512_unpacklo_epi16(a, b); }
  static V InterleaveHigh16(V a, V b) { return _mm512_unpackhi_epi16(a, b); }
  static V DotPairs(V a, V w) { return _mm512_madd_epi16(a, w); }
#if defined(__AVX512VNNI__)
  static V AddDotPairs(V acc, V a, V w) { return _mm512_dpwssd_epi32(acc, a, w); }
#else
  static V AddDotPairs(V acc, V a, V w) { return _mm512_add_epi32(acc, _mm512_madd_epi16(a, w)); }
#endif
  // Interleaving works within 128-bit quarters: quarter j of lo holds elements 8j…8j+3, of hi
  // 8j+4…8j+7. Interleave the quarters back (indices in 64-bit units, 8+ from hi).
  static void ColumnOrder32(V lo, V hi, V* first, V* second) {
    *first = _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), hi);
    *second = _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), hi);
  }

  static V Add32(V a, V b) { return _mm512_add_epi32(a, b); }
  static V Sub32(V a, V b) { return _mm512_sub_epi32(a, b); }
  template <int S>
  static V ShrU16(V a) {
    return _mm512_srli_epi16(a, S);
  }
  template <int S>
  static V ShrU32(V a) {
    return _mm512_srli_epi32(a, S);
  }
  template <int S>
  static V ShlU32(V a) {
    return _mm512_slli_epi32(a, S);
  }
  static V Mul32(V a, V b) { return _mm512_mullo_epi32(a, b); }
  // (a·b) >> S per lane, b in every lane, through the 64-bit products of the even lanes and of
  // the odd ones. S ≥ 32: the odd lanes moved down by a shuffle, their result read from the
  // product's high dword; below, the odd products shifted back up.
  template <int S>
  static V MulShr(V a, V b) {
    const V even = _mm512_srli_epi64(_mm512_mul_epu32(a, b), S);
    if constexpr (S >= 32) {
      const V odd = _mm512_srli_epi32(_mm512_mul_epu32(_mm512_shuffle_epi32(a, _MM_PERM_DDBB), b), S - 32);
      return _mm512_mask_blend_epi32(0xAAAA, even, odd);
    } else {
      const V odd = _mm512_slli_epi64(_mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(a, 32), b), S), 32);
      return _mm512_mask_blend_epi32(0xAAAA, even, odd);
    }
  }
  static void StoreLanes32As8(uint8_t* p, V v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(v));
  }

  // For the B-bit paths (word_kernel_templates.h).
  static V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
  static V SaturatingSubU16(V a, V b) { return _mm512_subs_epu16(a, b); }
  static V EqZero16(V a) { return _mm512_movm_epi16(_mm512_cmpeq_epi16_mask(a, _mm512_setzero_si512())); }
  static V LoadU16To32(const uint16_t* p) {
    return _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  static void StoreLanes32As16(uint16_t* p, V v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_cvtusepi32_epi16(v));
  }
  // ⌊(high·2^13 + low)·reciprocal + 2^−21⌋ per lane in double precision (see the header).
  static V FloorDivideSplit(V high, V low, double reciprocal) {
    const __m512d r = _mm512_set1_pd(reciprocal);
    const __m512d unit = _mm512_set1_pd(8192.0);
    const __m512d bias = _mm512_set1_pd(1.0 / (1 << 21));
    auto half = [&](__m256i h, __m256i l) {
      const __m512d d = _mm512_add_pd(_mm512_mul_pd(_mm512_cvtepi32_pd(h), unit), _mm512_cvtepi32_pd(l));
      return _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_mul_pd(d, r), bias));
    };
    const __m256i lo = half(_mm512_castsi512_si256(high), _mm512_castsi512_si256(low));
    const __m256i hi = half(_mm512_extracti64x4_epi64(high, 1), _mm512_extracti64x4_epi64(low, 1));
    return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
  }

  // For the float paths (float_kernel_templates.h): kLanesD doubles a vector.
  using D = __m512d;
  static constexpr int32_t kLanesD = 8;
  static D SetD(double v) { return _mm512_set1_pd(v); }
  static D LoadD(const double* p) { return _mm512_loadu_pd(p); }
  static void StoreD(double* p, D v) { _mm512_storeu_pd(p, v); }
  static D LoadFloats(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
  static void StoreFloats(float* p, D v) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }
  static D AddD(D a, D b) { return _mm512_add_pd(a, b); }
  static D SubD(D a, D b) { return _mm512_sub_pd(a, b); }
  static D MulD(D a, D b) { return _mm512_mul_pd(a, b); }
  static D MulAddD(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
  static D MergeD(D s, D a, D keep, D positive, D negativeLimit) {
    const D d = _mm512_sub_pd(s, a);
    const __mmask8 out = _mm512_cmp_pd_mask(d, positive, _CMP_GT_OQ) | _mm512_cmp_pd_mask(d, negativeLimit, _CMP_LT_OQ);
    return _mm512_mask_blend_pd(out, keep, s);
  }
  static bool FloatsBelow(const float* p, float bound) {
    const __m512 v = _mm512_abs_ps(_mm512_loadu_ps(p));
    return _mm512_cmp_ps_mask(v, _mm512_set1_ps(bound), _CMP_LT_OQ) == 0xFFFF;
  }
  static constexpr int32_t kFloatLanes = 16;
  // Lane i gets the sum of lanes 0…i: shifts by 1, 2, 4 and 8 lanes, zeros coming in.
  static V PrefixSum32(V v) {
    const V zero = _mm512_setzero_si512();
    v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 15));
    v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 14));
    v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 12));
    return _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 8));
  }
  static V BroadcastLast32(V v) { return _mm512_permutexvar_epi32(_mm512_set1_epi32(15), v); }
};

}  // namespace
}  // namespace sorvan
