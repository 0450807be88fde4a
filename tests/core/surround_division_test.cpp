// The Gaussian's interior division by surroundWeight is a multiply-high: the scalar one of
// core/surround_division.h (x86) for every dividend below 2^28, which holds every one the 8-bit
// average can meet (up to 512 + 255·surroundWeight), and on ARM64 NEON's doubling multiply-high
// (core/arm/neon_division.h) for every dividend below 2^30. Both are monotone in the dividend,
// so each is exact over its whole range once it is exact on both sides of every multiple of the
// divisor and at the range's top: checked for each of the 64 weight tables' divisors and at the
// edges of the accepted ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "core/architecture.h"
#include "core/kernels/gaussian_weights.h"
#include "core/surround_division.h"
#if SORVAN_ARCH_ARM64
#include "core/arm/neon_division.h"
#endif

namespace sorvan {
namespace {

// 0, every multiple of w up to `top` and the dividend below it, and `top`.
std::vector<uint32_t> DividendsAroundMultiples(uint32_t w, uint32_t top) {
  std::vector<uint32_t> dividends = {0, top};
  for (uint64_t multiple = w; multiple <= top; multiple += w) {
    dividends.insert(dividends.end(), {static_cast<uint32_t>(multiple) - 1, static_cast<uint32_t>(multiple)});
  }
  return dividends;
}

std::vector<uint32_t> Divisors() {
  std::vector<uint32_t> divisors = {(1 << 16) + 1, (1 << 17) - 1, 1 << 17, (1 << 17) + 1, (1 << 19) + 1, 1 << 20};
  for (int32_t rad = 1; rad <= kMaxRadius; ++rad) {
    for (int32_t str = 1; str <= 8; ++str) divisors.push_back(BuildGaussianWeights(rad, str).surroundWeight);
  }
  return divisors;
}

TEST(SurroundDivision, MultiplyHighEqualsDivisionOverTheWholeDividendRange) {
  for (const uint32_t w : Divisors()) {
    ASSERT_TRUE(SurroundDivisorFits(static_cast<int32_t>(w))) << w;
    const uint32_t reciprocal = SurroundReciprocal(static_cast<int32_t>(w));
    int32_t wrong = 0;
    for (const uint32_t d : DividendsAroundMultiples(w, (1u << 28) - 1))
      wrong += DivideBySurround(d, reciprocal) != d / w;
    EXPECT_EQ(wrong, 0) << "divisor " << w;
  }
  EXPECT_FALSE(SurroundDivisorFits(1 << 16));
  EXPECT_FALSE(SurroundDivisorFits((1 << 20) + 1));
}

#if SORVAN_ARCH_ARM64
TEST(SurroundDivision, NeonMultiplyHighEqualsDivisionBelow2To30) {
  for (const uint32_t w : Divisors()) {
    const NeonDivision division(static_cast<int32_t>(w));
    std::vector<uint32_t> dividends = DividendsAroundMultiples(w, (1u << NeonDivision::kDividendBits) - 1);
    dividends.resize((dividends.size() + 3) / 4 * 4, 0);
    int32_t wrong = 0;
    for (size_t i = 0; i < dividends.size(); i += 4) {
      uint32_t quotients[4];
      vst1q_u32(quotients, division.Divide(vld1q_u32(&dividends[i])));
      for (size_t j = 0; j < 4; ++j) wrong += quotients[j] != dividends[i + j] / w;
    }
    EXPECT_EQ(wrong, 0) << "divisor " << w;
  }
}
#endif

}  // namespace
}  // namespace sorvan
