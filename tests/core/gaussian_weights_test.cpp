#include "core/kernels/gaussian_weights.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "tests/core/gaussian_weight_table.h"

namespace sorvan {
namespace {

std::vector<int32_t> Taps(const int32_t* taps, int32_t rad) { return {taps, taps + 2 * rad + 1}; }

}  // namespace

void PrintTo(const GoldenWeightTable& table, std::ostream* os) { *os << "rad " << table.rad << ", str " << table.str; }

namespace {

class EveryWeightTable : public ::testing::TestWithParam<GoldenWeightTable> {};

// With this C runtime's pow. The Windows builds check the same under Wine with msvcrt.dll's
// (tests/windows/weights_check.cpp).
TEST_P(EveryWeightTable, IsTheGoldenTable) {
  const GoldenWeightTable& golden = GetParam();
  const GaussianWeights w = BuildGaussianWeights(golden.rad, golden.str);
  ASSERT_EQ(w.window, 2 * golden.rad + 1);
  EXPECT_EQ(Taps(w.taps, golden.rad), Taps(golden.taps, golden.rad));
  EXPECT_EQ(w.centreWeightSq, golden.taps[golden.rad] * golden.taps[golden.rad]);
  EXPECT_EQ(w.surroundWeight, 1048576 - w.centreWeightSq);
}

// pow `kSteps` doubles away from the exact power, as powl's wider result rounded to double
// gives it (or its neighbour, where the power lies within a sliver of a midpoint).
template <int kSteps>
double SteppedPow(double base, double exponent) {
  double p = static_cast<double>(powl(base, exponent));
  if (exponent == 0) return p;  // pow(x, ±0) is exactly 1 in every C runtime
  for (int i = 0; i < (kSteps < 0 ? -kSteps : kSteps); ++i) p = std::nextafter(p, kSteps < 0 ? 0.0 : 2.0);
  return p;
}

// Any pow correct to one unit in the last place gives the golden tables. Its result lies within
// three doubles of the one nearest the power (one and a half units; units halve at the bottom
// of a binade), so eight either side bracket it with room to spare. The bell, its sum and each
// share grow with pow's result (every other step is exactly rounded, and rounding keeps order),
// and a share grows with its sample and shrinks with the total; so each tap lies between the
// truncations of the low sample over the high total and the high sample over the low total.
// Where both are the golden tap, no such pow can change it; the centre takes what the others
// leave of 1024.
TEST_P(EveryWeightTable, HoldsForEveryPowCorrectToOneUnit) {
  if (LDBL_MANT_DIG < DBL_MANT_DIG + 8) GTEST_SKIP() << "long double is no wider than double here";
  const GoldenWeightTable& golden = GetParam();
  double low[kMaxWindow];
  double high[kMaxWindow];
  const double lowTotal = GaussianBell(golden.rad, golden.str, &SteppedPow<-8>, low);
  const double highTotal = GaussianBell(golden.rad, golden.str, &SteppedPow<8>, high);
  int32_t others = 0;
  for (int32_t i = 0; i < 2 * golden.rad + 1; ++i) {
    if (i == golden.rad) continue;
    EXPECT_EQ(TruncatedTap(low[i], highTotal), golden.taps[i]) << "tap " << i << ", least share";
    EXPECT_EQ(TruncatedTap(high[i], lowTotal), golden.taps[i]) << "tap " << i << ", greatest share";
    others += golden.taps[i];
  }
  EXPECT_EQ(golden.taps[golden.rad], 1024 - others);
}

INSTANTIATE_TEST_SUITE_P(AllSixtyFour, EveryWeightTable, ::testing::ValuesIn(kGoldenWeightTables),
                         [](const ::testing::TestParamInfo<GoldenWeightTable>& info) {
                           return "rad" + std::to_string(info.param.rad) + "_str" + std::to_string(info.param.str);
                         });

}  // namespace
}  // namespace sorvan
