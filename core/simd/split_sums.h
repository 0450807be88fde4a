// The 8-bit Gaussian's sums in 32-bit lanes, also the B-bit one's where its sums stay below
// 2^20. Where the instruction set's 32-bit multiply is dear (Isa::kSplitSums), each vertical
// sum v < 2^18 (< 2^20 for B-bit rows of words below 2^10) is kept split as (v mod 64,
// v div 64) in the two 16-bit halves of its lane: two such lanes add without carry (126, and
// 8190 for 8-bit sums, 32766 for B-bit ones), and one multiply-add of signed 16-bit pairs with
// the weight pair (K, 64·K) gives K·v exactly. Included after the translation unit's `Isa`.
#pragma once

#include "core/portability.h"

namespace sorvan {
namespace {

[[maybe_unused]] int32_t SplitSum(int32_t v) { return (v & 63) | ((v >> 6) << 16); }
[[maybe_unused]] Isa::V SplitSum(Isa::V v) {
  return Isa::Or(Isa::And(v, Isa::Set32(63)), Isa::ShlU32<16>(Isa::ShrU32<6>(v)));
}

// The weight pair that turns a split sum into K·v.
int32_t SplitWeight(int32_t k) {
  return static_cast<int32_t>((static_cast<uint32_t>(64 * k) << 16) | static_cast<uint32_t>(k));
}

// A vertical sum as the horizontal pass reads it, and the weight it reads it with.
Isa::V StoredSum(Isa::V v) {
  if constexpr (Isa::kSplitSums) return SplitSum(v);
  return v;
}
int32_t HorizontalWeight(int32_t k) { return Isa::kSplitSums ? SplitWeight(k) : k; }

// acc + K·v for stored sums v and the weight HorizontalWeight(K) in every lane.
Isa::V WeightedSum(Isa::V acc, Isa::V sums, Isa::V weight) {
  if constexpr (Isa::kSplitSums) return Isa::AddDotPairs(acc, sums, weight);
  return Isa::Add32(acc, Isa::Mul32(sums, weight));
}

}  // namespace
}  // namespace sorvan
