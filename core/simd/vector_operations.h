// What an instruction set's `Isa` struct provides to the shared templates of core/simd/: its
// vector types and the operations on them, each named for what it does. The templates check
// their group with a static_assert, so a missing or mistyped operation is named at compile time.
// Lanes are numbered from the lowest address; "every lane" means the same value in each.
#pragma once

#include "core/portability.h"

namespace sorvan {

template <typename A, typename B>
struct SameType {
  static constexpr bool kValue = false;
};
template <typename A>
struct SameType<A, A> {
  static constexpr bool kValue = true;
};
template <typename A, typename B>
concept Is = SameType<A, B>::kValue;

// The 8-bit paths (byte_kernel_templates.h, byte_gaussian_rows.h, split_sums.h, the integer box
// of box_outline.h), on the integer vector V of kBytes bytes.
template <typename I>
concept ByteOperations = requires(typename I::V v, const void* in, void* out, const uint8_t* bytes, uint8_t* byteOut,
                                  const int16_t* shorts, uint8_t u8, int32_t i32) {
  requires Is<decltype(I::kBytes), const int32_t>;    // bytes a vector
  requires Is<decltype(I::kLanes16), const int32_t>;  // 16-bit lanes a vector
  requires Is<decltype(I::kLanes32), const int32_t>;  // 32-bit lanes a vector
  // The 8-bit Gaussian's choices: keep vertical sums split for multiply-adds of 16-bit pairs
  // rather than multiply 32-bit lanes (split_sums.h); blend two taps' row sums into one
  // multiply-add, with BlendHighWords(a, b): each lane's low 16 bits from a, its high ones from b.
  requires Is<decltype(I::kSplitSums), const bool>;
  requires Is<decltype(I::kPairTaps), const bool>;
  requires !I::kPairTaps || requires {
    { I::BlendHighWords(v, v) } -> Is<typename I::V>;
  };
  { I::Zero() } -> Is<typename I::V>;
  { I::Set8(u8) } -> Is<typename I::V>;    // in every byte
  { I::Set32(i32) } -> Is<typename I::V>;  // in every 32-bit lane
  { I::Load(in) } -> Is<typename I::V>;    // unaligned
  I::Store(out, v);                        // unaligned
  { I::And(v, v) } -> Is<typename I::V>;
  { I::AndNot(v, v) } -> Is<typename I::V>;  // ~a & b
  { I::Or(v, v) } -> Is<typename I::V>;
  { I::SaturatingSubU8(v, v) } -> Is<typename I::V>;  // max(a − b, 0) per byte
  { I::EqZero8(v) } -> Is<typename I::V>;             // all ones in the bytes that are zero
  { I::Add16(v, v) } -> Is<typename I::V>;
  { I::Sub16(v, v) } -> Is<typename I::V>;
  { I::Add32(v, v) } -> Is<typename I::V>;
  { I::Sub32(v, v) } -> Is<typename I::V>;
  { I::template ShrU16<8>(v) } -> Is<typename I::V>;  // logical shifts by a constant
  { I::template ShrU32<6>(v) } -> Is<typename I::V>;
  { I::template ShlU32<16>(v) } -> Is<typename I::V>;
  // Per 32-bit lane, the products of its two signed 16-bit halves with w's, added (to acc).
  { I::DotPairs(v, v) } -> Is<typename I::V>;
  { I::AddDotPairs(v, v, v) } -> Is<typename I::V>;
  { I::Mul32(v, v) } -> Is<typename I::V>;  // the low 32 bits of each lane's product
  // (a·b) >> S per unsigned 32-bit lane, the product in 64 bits, b the same in every lane; the
  // result's low 32 bits.
  { I::template MulShr<48>(v, v) } -> Is<typename I::V>;
  { I::LoadU8To16(bytes) } -> Is<typename I::V>;    // kLanes16 bytes widened to 16-bit lanes
  { I::LoadI16To32(shorts) } -> Is<typename I::V>;  // kLanes32 signed 16-bit values widened
  { I::PrefixSum32(v) } -> Is<typename I::V>;       // lane i: the sum of lanes 0 … i
  { I::BroadcastLast32(v) } -> Is<typename I::V>;   // the last 32-bit lane in every lane
  I::StoreLanes32As8(byteOut, v);                   // kLanes32 lanes (each 0 … 255) as bytes
  // Packed bytes: out[i] = in[S·i] for the 16 samples i of a block of 16·S bytes, and back
  // (the bytes between the samples keep their values).
  I::template GatherPacked16<2>(byteOut, bytes);
  I::template GatherPacked16<3>(byteOut, bytes);
  I::template GatherPacked16<4>(byteOut, bytes);
  I::template ScatterPacked16<2>(byteOut, bytes);
  I::template ScatterPacked16<3>(byteOut, bytes);
  I::template ScatterPacked16<4>(byteOut, bytes);
};

// The B-bit paths (word_kernel_templates.h), besides the 8-bit operations.
template <typename I>
concept WordOperations = ByteOperations<I> &&
    requires(typename I::V v, typename I::V* first, const uint16_t* words, uint16_t* wordOut, double d) {
  { I::Xor(v, v) } -> Is<typename I::V>;
  { I::SaturatingSubU16(v, v) } -> Is<typename I::V>;
  { I::EqZero16(v) } -> Is<typename I::V>;
  // The 16-bit lanes of the lower (upper) halves of a and b, alternating: a0 b0 a1 b1 …, in
  // whatever order of blocks the vector keeps them; ColumnOrder32 then puts the 32-bit results
  // of the low and the high interleave back into the columns' order (first: lanes 0 …
  // kLanes32 − 1 of the columns, second: the rest).
  { I::InterleaveLow16(v, v) } -> Is<typename I::V>;
  { I::InterleaveHigh16(v, v) } -> Is<typename I::V>;
  I::ColumnOrder32(v, v, first, first);
  { I::LoadU16To32(words) } -> Is<typename I::V>;  // kLanes32 words widened
  I::StoreLanes32As16(wordOut, v);                 // kLanes32 lanes (each 0 … 65535) as words
  // ⌊(high·2^13 + low)·reciprocal + 2^−21⌋ per lane, in double precision.
  { I::FloorDivideSplit(v, v, d) } -> Is<typename I::V>;
};

// The float paths (float_kernel_templates.h), on the vector D of kLanesD doubles.
template <typename I>
concept FloatOperations = requires(typename I::D v, const double* in, double* out, const float* floats, float* floatOut,
                                   double d, float f) {
  requires Is<decltype(I::kLanesD), const int32_t>;
  requires Is<decltype(I::kFloatLanes), const int32_t>;  // floats FloatsBelow looks at
  { I::SetD(d) } -> Is<typename I::D>;
  { I::LoadD(in) } -> Is<typename I::D>;
  I::StoreD(out, v);
  { I::LoadFloats(floats) } -> Is<typename I::D>;  // kLanesD floats widened
  I::StoreFloats(floatOut, v);                     // rounded to float
  { I::AddD(v, v) } -> Is<typename I::D>;
  { I::SubD(v, v) } -> Is<typename I::D>;
  { I::MulD(v, v) } -> Is<typename I::D>;
  { I::MulAddD(v, v, v) } -> Is<typename I::D>;  // a·b + c, rounded once
  // keep where −negative ≤ s − a ≤ positive (compared as double), else s: MergeD(s, a, keep,
  // positive, −negative).
  { I::MergeD(v, v, v, v, v) } -> Is<typename I::D>;
  // Whether all kFloatLanes floats are finite with magnitude below `bound` (false for NaN).
  { I::FloatsBelow(floats, f) } -> Is<bool>;
};

}  // namespace sorvan
