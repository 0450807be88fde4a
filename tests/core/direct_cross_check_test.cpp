// The production averages against a direct, obviously-correct formulation (full 2-D sums,
// reflection at every read) on random channels, sizes, steps, pitches and every rad and str.
#include <gtest/gtest.h>

#include "core/kernels/gaussian_weights.h"
#include "core/kernels/reference_kernels.h"
#include "tests/support/direct_average.h"
#include "tests/support/run_kernels.h"

namespace sorvan::testing {
namespace {

std::vector<int32_t> Taps(const GaussianWeights& w) { return {w.taps, w.taps + w.window}; }

Layout RandomLayout(std::mt19937& rng) {
  std::uniform_int_distribution<int32_t> step(1, 4), pad(0, 9);
  Layout l;
  l.step = step(rng);
  l.offset = std::uniform_int_distribution<int32_t>(0, l.step - 1)(rng);
  l.srcPadding = pad(rng);
  l.dstPadding = pad(rng);
  return l;
}

class CrossCheck : public ::testing::TestWithParam<int32_t> {};

TEST_P(CrossCheck, GaussianEqualsTheDirectSum) {
  const int32_t rad = GetParam();
  std::mt19937 rng(1000 + rad);
  for (int32_t str = 1; str <= 8; ++str) {
    const GaussianWeights w = BuildGaussianWeights(rad, str);
    for (int trial = 0; trial < 3; ++trial) {
      std::uniform_int_distribution<int32_t> extra(0, 6);
      const Plane in = RandomPlane(rng, 2 * rad + extra(rng), 2 * rad + extra(rng));
      const Layout l = RandomLayout(rng);
      bool intact = false;
      const Plane out = RunGaussian(ReferenceKernels<uint8_t>(), in, rad, str, l, &intact);
      EXPECT_EQ(out.samples, DirectGaussian(in, Taps(w), w.centreWeightSq, w.surroundWeight).samples)
          << "rad " << rad << " str " << str << " " << in.width << "x" << in.height << " step " << l.step;
      EXPECT_TRUE(intact);
    }
  }
}

TEST_P(CrossCheck, BoxEqualsTheDirectSum) {
  const int32_t rad = GetParam();
  const int32_t window = 2 * rad + 1;
  std::mt19937 rng(2000 + rad);
  for (int trial = 0; trial < 8; ++trial) {
    std::uniform_int_distribution<int32_t> extra(0, 7);
    const Plane in = RandomPlane(rng, window + extra(rng), window + extra(rng));
    const Layout l = RandomLayout(rng);
    bool intact = false;
    const Plane out = RunBox(ReferenceKernels<uint8_t>(), in, window, l, &intact);
    EXPECT_EQ(out.samples, DirectBox(in, window).samples)
        << "window " << window << " " << in.width << "x" << in.height << " step " << l.step;
    EXPECT_TRUE(intact);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRadius, CrossCheck, ::testing::Range(1, 9));

}  // namespace
}  // namespace sorvan::testing
