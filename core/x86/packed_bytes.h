// Packed 8-bit channels (steps 2, 3 and 4) to and from contiguous bytes, 16 samples at a time in
// 128-bit registers, for every x86 level: the GatherPacked16 and ScatterPacked16 of the x86
// `Isa` structs, which inherit them. Step 3 needs SSSE3's byte shuffle; without it, plain loops.
#pragma once

#include <emmintrin.h>
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif

#include "core/portability.h"

namespace sorvan {
namespace {

struct PackedBytes128 {
  template <int32_t S>
  static void GatherPacked16(uint8_t* out, const uint8_t* p) {
    if constexpr (S == 2) {
      const __m128i low = _mm_set1_epi16(0x00FF);
      const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), low);
      const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
    } else if constexpr (S == 4) {
      const __m128i low = _mm_set1_epi32(0xFF);
      const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), low);
      const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), low);
      const __m128i c = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), low);
      const __m128i d = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    } else {
      static_assert(S == 3);
#if defined(__SSSE3__)
      // Sample i of 16 sits at byte 3i of 48: bytes 0–15 hold samples 0–5, 16–31 samples 6–10,
      // 32–47 samples 11–15.
      const __m128i pickA = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
      const __m128i pickB = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
      const __m128i pickC = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
      const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), pickA);
      const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), pickB);
      const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), pickC);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_or_si128(a, b), c));
#else
      for (int32_t i = 0; i < 16; ++i) out[i] = p[3 * i];
#endif
    }
  }

  template <int32_t S>
  static void ScatterPacked16(uint8_t* row, const uint8_t* in) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    __m128i* p = reinterpret_cast<__m128i*>(row);
    if constexpr (S == 2) {
      const __m128i keep = _mm_set1_epi16(static_cast<int16_t>(0xFF00));
      _mm_storeu_si128(p, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p), keep), _mm_unpacklo_epi8(v, zero)));
      _mm_storeu_si128(p + 1, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p + 1), keep), _mm_unpackhi_epi8(v, zero)));
    } else if constexpr (S == 4) {
      const __m128i keep = _mm_set1_epi32(static_cast<int32_t>(0xFFFFFF00u));
      const __m128i lo = _mm_unpacklo_epi8(v, zero);
      const __m128i hi = _mm_unpackhi_epi8(v, zero);
      const __m128i parts[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
      for (int i = 0; i < 4; ++i) {
        _mm_storeu_si128(p + i, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p + i), keep), parts[i]));
      }
    } else {
      static_assert(S == 3);
#if defined(__SSSE3__)
      // Byte j of the 48 takes sample j/3 where j is a multiple of 3; -1 leaves a zero, and
      // those positions keep the row's own bytes.
      const __m128i spreads[3] = {_mm_setr_epi8(0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1, -1, 5),
                                  _mm_setr_epi8(-1, -1, 6, -1, -1, 7, -1, -1, 8, -1, -1, 9, -1, -1, 10, -1),
                                  _mm_setr_epi8(-1, 11, -1, -1, 12, -1, -1, 13, -1, -1, 14, -1, -1, 15, -1, -1)};
      for (int i = 0; i < 3; ++i) {
        const __m128i take = _mm_cmpgt_epi8(spreads[i], _mm_set1_epi8(-1));  // 0xFF where a sample goes
        const __m128i old = _mm_loadu_si128(p + i);
        _mm_storeu_si128(p + i, _mm_or_si128(_mm_andnot_si128(take, old), _mm_shuffle_epi8(v, spreads[i])));
      }
#else
      for (int32_t i = 0; i < 16; ++i) row[3 * i] = in[i];
#endif
    }
  }
};

}  // namespace
}  // namespace sorvan
