// The Gaussian's interior division by surroundWeight is done as a multiply-high. It must agree
// with the division for every dividend the average can meet, 0 to 512 + 255·surroundWeight,
// for each of the 64 weight tables. Checked exhaustively, one quotient interval at a time.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "core/kernels/gaussian_weights.h"
#include "core/surround_division.h"

namespace sorvan {
namespace {

class SurroundDivision : public ::testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

TEST_P(SurroundDivision, MultiplyHighEqualsDivisionOverTheWholeDividendRange) {
  const auto [rad, str] = GetParam();
  const GaussianWeights weights = BuildGaussianWeights(rad, str);
  const int32_t divisor = weights.surroundWeight;
  ASSERT_TRUE(SurroundDivisorFits(divisor)) << divisor;
  const uint32_t reciprocal = SurroundReciprocal(divisor);
  const uint32_t last = 512u + 255u * static_cast<uint32_t>(divisor);
  uint64_t wrong = 0;
  // Within [q·w, (q+1)·w) the quotient is q; the loop body is branch-free so it vectorises.
  for (uint32_t q = 0, start = 0; start <= last; ++q, start += static_cast<uint32_t>(divisor)) {
    const uint32_t end = start + static_cast<uint32_t>(divisor) - 1 < last ? start + divisor - 1 : last;
    for (uint32_t d = start; d <= end; ++d) wrong += DivideBySurround(d, reciprocal) != q;
    ASSERT_EQ(wrong, 0u) << "in the dividends of quotient " << q;
  }
}

INSTANTIATE_TEST_SUITE_P(AllWeightTables, SurroundDivision,
                         ::testing::Combine(::testing::Range(1, 9), ::testing::Range(1, 9)), [](const auto& info) {
                           return "rad" + std::to_string(std::get<0>(info.param)) + "_str" +
                                  std::to_string(std::get<1>(info.param));
                         });

// The bound the proof rests on: a divisor at the edge of the accepted range still divides
// exactly at the largest possible dividend and one below every multiple near it.
TEST(SurroundDivision, ExactAtTheEdgesOfTheAcceptedDivisors) {
  for (const int32_t divisor : {(1 << 16) + 1, 833280, 1042176, 1 << 20}) {
    ASSERT_TRUE(SurroundDivisorFits(divisor));
    const uint32_t reciprocal = SurroundReciprocal(divisor);
    const uint32_t top = (1u << 28) - 1;
    for (uint32_t q = top / divisor - 2; q <= top / divisor; ++q) {
      const uint32_t at = q * static_cast<uint32_t>(divisor);
      EXPECT_EQ(DivideBySurround(at, reciprocal), q);
      EXPECT_EQ(DivideBySurround(at - 1, reciprocal), q - 1);
    }
    EXPECT_EQ(DivideBySurround(top, reciprocal), top / divisor);
  }
  EXPECT_FALSE(SurroundDivisorFits(1 << 16));
  EXPECT_FALSE(SurroundDivisorFits((1 << 20) + 1));
}

}  // namespace
}  // namespace sorvan
