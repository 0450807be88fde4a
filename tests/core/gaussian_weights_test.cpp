#include "core/kernels/gaussian_weights.h"

#include <gtest/gtest.h>

#include <vector>

namespace sorvan {
namespace {

std::vector<int32_t> Taps(const GaussianWeights& w) { return {w.taps, w.taps + w.window}; }

struct WeightRow {
  int32_t rad, str;
  std::vector<int32_t> taps;
  int32_t centreWeightSq, surroundWeight;
};

class WorkedWeights : public ::testing::TestWithParam<WeightRow> {};

TEST_P(WorkedWeights, MatchTheTableExactly) {
  const WeightRow& row = GetParam();
  const GaussianWeights w = BuildGaussianWeights(row.rad, row.str);
  EXPECT_EQ(Taps(w), row.taps);
  EXPECT_EQ(w.window, 2 * row.rad + 1);
  EXPECT_EQ(w.centreWeightSq, row.centreWeightSq);
  EXPECT_EQ(w.surroundWeight, row.surroundWeight);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WorkedWeights,
    ::testing::Values(WeightRow{1, 1, {280, 464, 280}, 215296, 833280},
                      WeightRow{2, 1, {55, 250, 414, 250, 55}, 171396, 877180},
                      WeightRow{3, 2, {71, 134, 195, 224, 195, 134, 71}, 50176, 998400},
                      WeightRow{4, 8, {105, 111, 116, 118, 124, 118, 116, 111, 105}, 15376, 1033200},
                      WeightRow{5, 4, {56, 74, 92, 108, 118, 128, 118, 108, 92, 74, 56}, 16384, 1032192},
                      WeightRow{
                          8, 8, {43, 48, 54, 58, 63, 66, 69, 71, 80, 71, 69, 66, 63, 58, 54, 48, 43}, 6400, 1042176},
                      WeightRow{8, 1, {0, 0, 0, 0, 0, 4, 55, 247, 412, 247, 55, 4, 0, 0, 0, 0, 0}, 169744, 878832}));

class AllWeightTables : public ::testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

TEST_P(AllWeightTables, KeepTheirInvariants) {
  const auto [rad, str] = GetParam();
  const GaussianWeights w = BuildGaussianWeights(rad, str);
  const std::vector<int32_t> k = Taps(w);
  ASSERT_EQ(static_cast<int32_t>(k.size()), 2 * rad + 1);

  int32_t sum = 0;
  for (size_t i = 0; i < k.size(); ++i) {
    sum += k[i];
    EXPECT_GE(k[i], 0);
    EXPECT_EQ(k[i], k[k.size() - 1 - i]) << "asymmetric at " << i;
    if (static_cast<int32_t>(i) != rad) {
      EXPECT_LT(k[i], k[rad]) << "centre not strictly largest";
    }
  }
  EXPECT_EQ(sum, 1024);
  EXPECT_GE(k[rad], 80);
  EXPECT_LE(k[rad], 464);
  EXPECT_EQ(w.centreWeightSq, k[rad] * k[rad]);
  EXPECT_EQ(w.surroundWeight, 1048576 - w.centreWeightSq);

  // Only wide windows with a narrow bell reach zero at their ends.
  const bool zeroEnds = (str == 1 && rad >= 4) || (str == 2 && rad >= 7);
  EXPECT_EQ(k.front() == 0, zeroEnds);
}

INSTANTIATE_TEST_SUITE_P(EveryRadiusAndStrength, AllWeightTables,
                         ::testing::Combine(::testing::Range(1, 9), ::testing::Range(1, 9)));

}  // namespace
}  // namespace sorvan
