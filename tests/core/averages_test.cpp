// The reference averages and merge against the worked examples and their defining properties.
#include <gtest/gtest.h>

#include "core/kernels/reference_kernels.h"
#include "tests/support/direct_average.h"
#include "tests/support/run_kernels.h"

namespace sorvan::testing {
namespace {

const SampleKernels<uint8_t>& kRef = ReferenceKernels<uint8_t>();

Plane Spike(int32_t w, int32_t h, int32_t y, int32_t x, uint8_t background, uint8_t value) {
  Plane p = FlatPlane(w, h, background);
  p.samples[static_cast<size_t>(y) * w + x] = value;
  return p;
}

TEST(GaussianSurroundAverage, FiveByFiveSpikeLeavesTheCentreOut) {
  const Plane out = RunGaussian(kRef, Spike(5, 5, 2, 2, 0, 255), 1, 1);
  EXPECT_EQ(out.samples,
            PlaneFromRows({{0, 0, 0, 0, 0}, {0, 23, 39, 23, 0}, {0, 39, 0, 39, 0}, {0, 23, 39, 23, 0}, {0, 0, 0, 0, 0}})
                .samples);
}

TEST(GaussianSurroundAverage, FiveByFiveCornerSpikeKeepsTheSampleInEdgeRows) {
  const Plane out = RunGaussian(kRef, Spike(5, 5, 0, 0, 0, 255), 1, 1);
  EXPECT_EQ(
      out.samples,
      PlaneFromRows({{52, 31, 0, 0, 0}, {39, 23, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}).samples);
}

TEST(GaussianSurroundAverage, TwelveByTwelveDefaults) {
  const Plane out = RunGaussian(kRef, Spike(12, 12, 6, 6, 200, 100), 5, 4);
  EXPECT_EQ(out.at(6, 6), 200);
  EXPECT_EQ(out.at(6, 7), 198);
  EXPECT_EQ(out.at(5, 5), 198);
  EXPECT_EQ(out.at(0, 0), 200);
  EXPECT_EQ(out.at(6, 0), 200);
}

TEST(GaussianSurroundAverage, TwoByTwoHasOnlyEdgeRows) {
  const Plane out = RunGaussian(kRef, PlaneFromRows({{10, 20}, {30, 40}}), 1, 1);
  EXPECT_EQ(out.samples, PlaneFromRows({{26, 25}, {24, 23}}).samples);
}

class FlatGaussian : public ::testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

TEST_P(FlatGaussian, FlatChannelsStayFlatAndNothingOverflows) {
  const auto [rad, str] = GetParam();
  for (int v : {0, 1, 77, 128, 254, 255}) {
    const Plane in = FlatPlane(2 * rad + 3, 2 * rad + 2, static_cast<uint8_t>(v));
    EXPECT_EQ(RunGaussian(kRef, in, rad, str).samples, in.samples) << "v=" << v;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRadiusAndStrength, FlatGaussian,
                         ::testing::Combine(::testing::Range(1, 9), ::testing::Range(1, 9)));

TEST(BoxAverage, FlatAreasComeOutOneLevelLower) {
  for (int32_t window : {3, 11, 17}) {
    for (int v = 0; v <= 255; ++v) {
      const Plane out = RunBox(kRef, FlatPlane(window + 2, window + 1, static_cast<uint8_t>(v)), window);
      const uint8_t expected = static_cast<uint8_t>(v == 0 ? 0 : v - 1);
      for (uint8_t s : out.samples) ASSERT_EQ(s, expected) << "window " << window << " v " << v;
    }
  }
}

TEST(BoxAverage, WindowThreeSpikes) {
  // Away from the edges: the 3 × 3 square around the spike, its own position included.
  Plane out = RunBox(kRef, Spike(7, 7, 3, 3, 0, 255), 3);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 7; ++x)
      EXPECT_EQ(out.at(y, x), (y >= 2 && y <= 4 && x >= 2 && x <= 4) ? 28 : 0) << y << "," << x;

  // Next to the top edge the reflected row −1 brings the spike in a second time.
  out = RunBox(kRef, Spike(6, 6, 1, 0, 0, 255), 3);
  EXPECT_EQ(out.samples, PlaneFromRows({{56, 56, 0, 0, 0, 0},
                                        {28, 28, 0, 0, 0, 0},
                                        {28, 28, 0, 0, 0, 0},
                                        {0, 0, 0, 0, 0, 0},
                                        {0, 0, 0, 0, 0, 0},
                                        {0, 0, 0, 0, 0, 0}})
                             .samples);

  // The corner sample is the mirror axis and is not repeated.
  out = RunBox(kRef, Spike(6, 6, 0, 0, 0, 255), 3);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(out.at(y, x), (y <= 1 && x <= 1) ? 28 : 0) << y << "," << x;
}

TEST(LimitMerge, LimitsAreInclusiveOnBothSides) {
  // Source rows minus smoothed: d = p, p + 1, −n, −n − 1, with p = 2, n = 3.
  const Plane smoothed = FlatPlane(4, 1, 100);
  const Plane source = PlaneFromRows({{102, 103, 97, 96}});
  EXPECT_EQ(RunMerge(kRef, source, smoothed, 2, 3).samples, PlaneFromRows({{100, 103, 100, 96}}).samples);
}

TEST(LimitMerge, ZeroLimitsAndExtremes) {
  const Plane smoothed = PlaneFromRows({{10, 10, 0, 255, 9}});
  const Plane source = PlaneFromRows({{11, 9, 255, 0, 10}});
  // p = 0: anything above comes back; n = 0 likewise below.
  EXPECT_EQ(RunMerge(kRef, source, smoothed, 0, 10).samples, PlaneFromRows({{11, 10, 255, 0, 10}}).samples);
  EXPECT_EQ(RunMerge(kRef, source, smoothed, 10, 0).samples, PlaneFromRows({{10, 9, 255, 0, 9}}).samples);
  for (int limit = 0; limit <= 10; ++limit) {
    const Plane out = RunMerge(kRef, source, smoothed, limit, limit);
    EXPECT_EQ(out.at(0, 2), 255);
    EXPECT_EQ(out.at(0, 3), 0);
  }
}

TEST(LimitMerge, BoxFlatAreaReturnsOnlyWhenThePositiveLimitIsZero) {
  const Plane source = FlatPlane(5, 5, 90);
  const Plane smoothed = RunBox(kRef, source, 3);
  EXPECT_EQ(RunMerge(kRef, source, smoothed, 1, 0).samples, FlatPlane(5, 5, 89).samples);
  EXPECT_EQ(RunMerge(kRef, source, smoothed, 0, 4).samples, source.samples);
}

// Packed layouts: only the channel's own bytes are read as samples and written.
class PackedLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(PackedLayouts, TouchOnlyTheirOwnBytes) {
  std::mt19937 rng(7);
  const Plane in = RandomPlane(rng, 13, 12);
  const Layout l = GetParam();
  bool intact = false;
  EXPECT_EQ(RunGaussian(kRef, in, 5, 4, l, &intact).samples, RunGaussian(kRef, in, 5, 4).samples);
  EXPECT_TRUE(intact);
  EXPECT_EQ(RunBox(kRef, in, 11, l, &intact).samples, RunBox(kRef, in, 11).samples);
  EXPECT_TRUE(intact);
  const Plane smoothed = RunBox(kRef, in, 3);
  EXPECT_EQ(RunMerge(kRef, in, smoothed, 2, 2, l, &intact).samples, RunMerge(kRef, in, smoothed, 2, 2).samples);
  EXPECT_TRUE(intact);
}

INSTANTIATE_TEST_SUITE_P(Steps, PackedLayouts,
                         ::testing::Values(Layout{1, 3, 9, 0}, Layout{2, 0, 5, 1}, Layout{3, 7, 0, 2},
                                           Layout{4, 1, 2, 3}, Layout{4, 64, 16, 1}));

}  // namespace
}  // namespace sorvan::testing
