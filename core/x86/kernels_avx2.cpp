// AVX2 fast paths, chosen at run time when the CPU and the operating system support AVX2.
#include "core/x86/x86_kernels.h"

#include <immintrin.h>

#include "core/x86/packed_bytes.h"

namespace sorvan {
namespace {

struct Isa : PackedBytes128 {
  using V = __m256i;
  static constexpr int32_t kBytes = 32;
  static constexpr int32_t kLanes16 = 16;
  static constexpr int32_t kLanes32 = 8;
  // The 8-bit Gaussian's choices (byte_gaussian_rows.h): a 32-bit multiply costs less than
  // splitting every sum, and two taps share a multiply-add.
  static constexpr bool kSplitSums = false;
  static constexpr bool kPairTaps = true;

  static V Zero() { return _mm256_setzero_si256(); }
  static V Set8(uint8_t v) { return _mm256_set1_epi8(static_cast<char>(v)); }
  static V Set32(int32_t v) { return _mm256_set1_epi32(v); }
  static V Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static void Store(void* p, V v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }

  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static V SaturatingSubU8(V a, V b) { return _mm256_subs_epu8(a, b); }
  static V EqZero8(V a) { return _mm256_cmpeq_epi8(a, _mm256_setzero_si256()); }

  static V LoadU8To16(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static V LoadI16To32(const int16_t* p) {
    return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V InterleaveLow16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  static V InterleaveHigh16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  static V DotPairs(V a, V w) { return _mm256_madd_epi16(a, w); }
  static V AddDotPairs(V acc, V a, V w) { return _mm256_add_epi32(acc, _mm256_madd_epi16(a, w)); }
  // Interleaving works within 128-bit halves: lo holds elements 0–3 and 8–11, hi 4–7 and 12–15.
  static void ColumnOrder32(V lo, V hi, V* first, V* second) {
    *first = _mm256_permute2x128_si256(lo, hi, 0x20);
    *second = _mm256_permute2x128_si256(lo, hi, 0x31);
  }

  static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
  static V Sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
  // The low 16 bits of each 32-bit lane from a, the high ones from b.
  static V BlendHighWords(V a, V b) { return _mm256_blend_epi16(a, b, 0xAA); }
  template <int S>
  static V ShrU16(V a) {
    return _mm256_srli_epi16(a, S);
  }
  template <int S>
  static V ShrU32(V a) {
    return _mm256_srli_epi32(a, S);
  }
  template <int S>
  static V ShlU32(V a) {
    return _mm256_slli_epi32(a, S);
  }
  static V Mul32(V a, V b) { return _mm256_mullo_epi32(a, b); }
  // (a·b) >> S per lane, b in every lane, through the 64-bit products of the even lanes and of
  // the odd ones. S ≥ 32: the odd lanes moved down by a shuffle, their result read from the
  // product's high dword; below, the odd products shifted back up.
  template <int S>
  static V MulShr(V a, V b) {
    const V even = _mm256_srli_epi64(_mm256_mul_epu32(a, b), S);
    if constexpr (S >= 32) {
      return _mm256_blend_epi32(even, _mm256_srli_epi32(_mm256_mul_epu32(_mm256_shuffle_epi32(a, 0xF5), b), S - 32),
                                0xAA);
    } else {
      return _mm256_blend_epi32(
          even, _mm256_slli_epi64(_mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(a, 32), b), S), 32), 0xAA);
    }
  }
  static void StoreLanes32As8(uint8_t* p, V v) {
    const V w = _mm256_packs_epi32(v, v);  // within halves: 0–3 0–3 | 4–7 4–7
    const V b = _mm256_packus_epi16(w, w);
    const V joined = _mm256_permutevar8x32_epi32(b, _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(joined));
  }

  // For the B-bit paths (word_kernel_templates.h).
  static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  static V SaturatingSubU16(V a, V b) { return _mm256_subs_epu16(a, b); }
  static V EqZero16(V a) { return _mm256_cmpeq_epi16(a, _mm256_setzero_si256()); }
  static V LoadU16To32(const uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static void StoreLanes32As16(uint16_t* p, V v) {
    const __m128i w = _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), w);
  }
  // ⌊(high·2^13 + low)·reciprocal + 2^−21⌋ per lane in double precision (see the header).
  static V FloorDivideSplit(V high, V low, double reciprocal) {
    const __m256d r = _mm256_set1_pd(reciprocal);
    const __m256d unit = _mm256_set1_pd(8192.0);
    const __m256d bias = _mm256_set1_pd(1.0 / (1 << 21));
    auto half = [&](__m128i h, __m128i l) {
      const __m256d d = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(h), unit), _mm256_cvtepi32_pd(l));
      return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(d, r), bias));
    };
    const __m128i lo = half(_mm256_castsi256_si128(high), _mm256_castsi256_si128(low));
    const __m128i hi = half(_mm256_extracti128_si256(high, 1), _mm256_extracti128_si256(low, 1));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
  }

  // For the float paths (float_kernel_templates.h): kLanesD doubles a vector.
  using D = __m256d;
  static constexpr int32_t kLanesD = 4;
  static D SetD(double v) { return _mm256_set1_pd(v); }
  static D LoadD(const double* p) { return _mm256_loadu_pd(p); }
  static void StoreD(double* p, D v) { _mm256_storeu_pd(p, v); }
  static D LoadFloats(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
  static void StoreFloats(float* p, D v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
  static D AddD(D a, D b) { return _mm256_add_pd(a, b); }
  static D SubD(D a, D b) { return _mm256_sub_pd(a, b); }
  static D MulD(D a, D b) { return _mm256_mul_pd(a, b); }
  static D MulAddD(D a, D b, D c) { return _mm256_fmadd_pd(a, b, c); }
  // keep where −negative ≤ s − a ≤ positive, else s.
  static D MergeD(D s, D a, D keep, D positive, D negativeLimit) {
    const D d = _mm256_sub_pd(s, a);
    const D out = _mm256_or_pd(_mm256_cmp_pd(d, positive, _CMP_GT_OQ), _mm256_cmp_pd(d, negativeLimit, _CMP_LT_OQ));
    return _mm256_blendv_pd(keep, s, out);
  }
  // Whether all 8 floats are finite with magnitude below `bound` (false for NaN).
  static bool FloatsBelow(const float* p, float bound) {
    const __m256 v = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_loadu_ps(p));
    return _mm256_movemask_ps(_mm256_cmp_ps(v, _mm256_set1_ps(bound), _CMP_LT_OQ)) == 0xFF;
  }
  static constexpr int32_t kFloatLanes = 8;
  static V PrefixSum32(V v) {
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 8));
    // Carry the low half's total into the high half.
    const V lowTotal = _mm256_permute2x128_si256(_mm256_shuffle_epi32(v, 0xFF), v, 0x08);
    return _mm256_add_epi32(v, lowTotal);
  }
  static V BroadcastLast32(V v) { return _mm256_permutevar8x32_epi32(v, _mm256_set1_epi32(7)); }
};

}  // namespace
}  // namespace sorvan

#include "core/simd/byte_kernel_templates.h"
#include "core/simd/float_kernel_templates.h"
#include "core/simd/word_kernel_templates.h"

namespace sorvan {
namespace {
constexpr SampleKernels<uint8_t> kBytes = FastKernels<ByteKernels>::Table("avx2");
constexpr SampleKernels<uint16_t> kWords = FastKernels<words::WordKernels>::Table("avx2");
constexpr SampleKernels<float> kFloats = FastKernels<floats::FloatKernels>::Table("avx2");
}  // namespace
constexpr KernelSet kAvx2Kernels = {&kBytes, &kWords, &kFloats};
}  // namespace sorvan
