// Each fast path against the reference, byte for byte, on random channels: every rad and str,
// sizes from the minimum upward (widths around the vector widths), steps 1 to 4, odd and
// negative pitches, source and destination with different pitches. The whole destination
// buffer is compared, so bytes outside the channel must keep their values too.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/kernels/gaussian_weights.h"
#include "tests/support/fast_path_support.h"

namespace sorvan::testing {
namespace {

struct Geometry {
  int32_t width;
  int32_t height;
  int32_t step;
  int32_t srcExtra;
  int32_t dstExtra;
  bool srcBottomUp;
};

// Widths: the minimum, one more, and values just around the 16-, 32- and 64-sample vectors.
std::vector<Geometry> Geometries(int32_t minimum, std::mt19937& rng) {
  std::vector<Geometry> out;
  const int32_t widths[] = {minimum, minimum + 1, 15, 16, 17, 33, 63, 64, 65, 100, 129};
  const int32_t heights[] = {minimum, minimum + 1, minimum + 7};
  int32_t i = 0;
  for (const int32_t w : widths) {
    if (w < minimum) continue;
    const int32_t h = heights[i % 3];
    const int32_t step = 1 + i % 4;
    out.push_back({w, h, step, static_cast<int32_t>(rng() % 13), static_cast<int32_t>(rng() % 29), i % 5 == 4});
    ++i;
  }
  for (int32_t step = 1; step <= 4; ++step) {  // every step at a random larger size
    out.push_back({minimum + static_cast<int32_t>(rng() % 150), minimum + static_cast<int32_t>(rng() % 30), step,
                   static_cast<int32_t>(rng() % 7) * 2 + 1, static_cast<int32_t>(rng() % 5), step == 3});
  }
  return out;
}

using PathAndRadius = std::tuple<std::string, int32_t>;

class GaussianFastPath : public ::testing::TestWithParam<PathAndRadius> {};

TEST_P(GaussianFastPath, MatchesReferenceForEveryStrength) {
  const auto& [name, rad] = GetParam();
  const SampleKernels<uint8_t>* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  std::mt19937 rng(1000 + rad);
  for (int32_t str = 1; str <= 8; ++str) {
    const GaussianWeights weights = BuildGaussianWeights(rad, str);
    int32_t kind = 0;
    for (const Geometry& g : Geometries(2 * rad, rng)) {
      SCOPED_TRACE(::testing::Message() << "str " << str << ", " << g.width << "x" << g.height << " step " << g.step
                                        << " kind " << kind);
      TestChannel src = MakeChannel(g.width, g.height, g.step, g.srcExtra, g.srcBottomUp, rng);
      FillSamples(src, g.width, g.height, g.step, kind++, rng);
      TestChannel expected = MakeChannel(g.width, g.height, g.step, g.dstExtra, false, rng);
      TestChannel actual = expected;
      const TestScratch scratch = TestScratch::For(g.width, g.height, weights.window);
      const ChannelShape shape = {g.width, g.height, g.step};
      GaussianSurroundAverage<uint8_t>(Out(expected), In(src), shape, weights.Params(), scratch.block.Plane<int32_t>());
      kernels->gaussian(Out(actual), In(src), shape, weights.Params(), scratch.block);
      ASSERT_EQ(expected.buffer, actual.buffer);
    }
  }
}

// The fused Gaussian and limit merge against the reference average followed by the merge.
class GaussianMergeFastPath : public ::testing::TestWithParam<PathAndRadius> {};

TEST_P(GaussianMergeFastPath, MatchesAverageThenMerge) {
  const auto& [name, rad] = GetParam();
  const SampleKernels<uint8_t>* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  ASSERT_NE(kernels->gaussianMerge, nullptr);
  std::mt19937 rng(5000 + rad);
  const std::pair<int32_t, int32_t> extraLimits[] = {{300, 0}, {0, 1000}, {-1, 2}, {3, -4}};
  for (int32_t str = 1; str <= 8; ++str) {
    const GaussianWeights weights = BuildGaussianWeights(rad, str);
    int32_t kind = 1;
    int32_t round = 0;
    for (const Geometry& g : Geometries(2 * rad, rng)) {
      int32_t p = static_cast<int32_t>(rng() % 11);
      int32_t n = static_cast<int32_t>(rng() % 11);
      if (round % 5 == 4) std::tie(p, n) = extraLimits[(round / 5 + str) % 4];
      ++round;
      SCOPED_TRACE(::testing::Message() << "str " << str << ", " << g.width << "x" << g.height << " step " << g.step
                                        << " limits " << p << "/" << n);
      TestChannel src = MakeChannel(g.width, g.height, g.step, g.srcExtra, g.srcBottomUp, rng);
      FillSamples(src, g.width, g.height, g.step, kind++, rng);
      TestChannel expected = MakeChannel(g.width, g.height, g.step, g.dstExtra, false, rng);
      TestChannel actual = expected;
      const TestScratch scratch = TestScratch::For(g.width, g.height, weights.window);
      const ChannelShape shape = {g.width, g.height, g.step};
      GaussianSurroundAverage<uint8_t>(Out(expected), In(src), shape, weights.Params(), scratch.block.Plane<int32_t>());
      LimitMerge<uint8_t>(Out(expected), In(src), In(expected), shape, {p, n});
      kernels->gaussianMerge(Out(actual), In(src), shape, weights.Params(), {p, n}, scratch.block);
      ASSERT_EQ(expected.buffer, actual.buffer);
    }
  }
}

class BoxFastPath : public ::testing::TestWithParam<PathAndRadius> {};

TEST_P(BoxFastPath, MatchesReference) {
  const auto& [name, rad] = GetParam();
  const SampleKernels<uint8_t>* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  std::mt19937 rng(2000 + rad);
  const int32_t window = 2 * rad + 1;
  for (int32_t round = 0; round < 3; ++round) {
    int32_t kind = round;
    for (const Geometry& g : Geometries(window, rng)) {
      SCOPED_TRACE(::testing::Message() << g.width << "x" << g.height << " step " << g.step << " kind " << kind);
      TestChannel src = MakeChannel(g.width, g.height, g.step, g.srcExtra, g.srcBottomUp, rng);
      FillSamples(src, g.width, g.height, g.step, kind++, rng);
      TestChannel expected = MakeChannel(g.width, g.height, g.step, g.dstExtra, false, rng);
      TestChannel actual = expected;
      const TestScratch scratch = TestScratch::For(g.width, g.height, window);
      const ChannelShape shape = {g.width, g.height, g.step};
      BoxAverage<uint8_t>(Out(expected), In(src), shape, window, scratch.block.BoxOffsets());
      kernels->box(Out(actual), In(src), shape, window, scratch.block);
      ASSERT_EQ(expected.buffer, actual.buffer);
    }
  }
}

std::vector<std::string> PathNames() { return FastPathNames(); }

std::string PathAndRadiusName(const ::testing::TestParamInfo<PathAndRadius>& info) {
  return std::get<0>(info.param) + "_rad" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Paths, GaussianFastPath,
                         ::testing::Combine(::testing::ValuesIn(PathNames()), ::testing::Range(1, 9)),
                         PathAndRadiusName);
INSTANTIATE_TEST_SUITE_P(Paths, GaussianMergeFastPath,
                         ::testing::Combine(::testing::ValuesIn(PathNames()), ::testing::Range(1, 9)),
                         PathAndRadiusName);
INSTANTIATE_TEST_SUITE_P(Paths, BoxFastPath,
                         ::testing::Combine(::testing::ValuesIn(PathNames()), ::testing::Range(1, 9)),
                         PathAndRadiusName);

using PathAndStep = std::tuple<std::string, int32_t>;

class MergeAndCopyFastPath : public ::testing::TestWithParam<PathAndStep> {};

// In place (output = smoothed, as the frame processor calls it) and into a separate output,
// for every pair of limits the filter accepts and a few it never sets.
TEST_P(MergeAndCopyFastPath, LimitMergeMatchesReference) {
  const auto& [name, step] = GetParam();
  const SampleKernels<uint8_t>* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  std::mt19937 rng(3000 + step);
  std::vector<std::pair<int32_t, int32_t>> limits;
  for (int32_t p = 0; p <= 10; ++p) {
    for (int32_t n = 0; n <= 10; ++n) limits.emplace_back(p, n);
  }
  limits.insert(limits.end(), {{255, 0}, {0, 255}, {300, 1000}, {-1, 3}, {4, -2}, {-300, -300}});
  int32_t i = 0;
  for (const auto& [p, n] : limits) {
    const int32_t width = 1 + static_cast<int32_t>(rng() % 140);
    const int32_t height = 1 + static_cast<int32_t>(rng() % 6);
    SCOPED_TRACE(::testing::Message() << "limits " << p << "/" << n << ", " << width << "x" << height);
    TestChannel src = MakeChannel(width, height, step, static_cast<int32_t>(rng() % 9), i % 3 == 0, rng);
    TestChannel smoothed = MakeChannel(width, height, step, static_cast<int32_t>(rng() % 9), false, rng);
    // Smoothed values near the source so that every difference from −12 to 12 occurs.
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        const int32_t s = src.base()[static_cast<ptrdiff_t>(y) * src.pitch + x * step];
        int32_t a = (rng() % 4 == 0) ? static_cast<int32_t>(rng() % 256) : s + static_cast<int32_t>(rng() % 25) - 12;
        a = a < 0 ? 0 : (a > 255 ? 255 : a);
        smoothed.base()[static_cast<ptrdiff_t>(y) * smoothed.pitch + x * step] = static_cast<uint8_t>(a);
      }
    }
    TestChannel expected = smoothed;
    TestChannel actual = smoothed;
    const ChannelShape shape = {width, height, step};
    LimitMerge<uint8_t>(Out(expected), In(src), In(expected), shape, {p, n});
    kernels->limitMerge(Out(actual), In(src), In(actual), shape, {p, n});
    ASSERT_EQ(expected.buffer, actual.buffer) << "in place";

    TestChannel expectedOut = MakeChannel(width, height, step, 3, false, rng);
    TestChannel actualOut = expectedOut;
    LimitMerge<uint8_t>(Out(expectedOut), In(src), In(smoothed), shape, {p, n});
    kernels->limitMerge(Out(actualOut), In(src), In(smoothed), shape, {p, n});
    ASSERT_EQ(expectedOut.buffer, actualOut.buffer) << "separate output";
    ++i;
  }
}

TEST_P(MergeAndCopyFastPath, CopyChannelMatchesReference) {
  const auto& [name, step] = GetParam();
  const SampleKernels<uint8_t>* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  std::mt19937 rng(4000 + step);
  for (int32_t width = 1; width <= 200; width += 1 + width / 8) {
    const int32_t height = 1 + width % 5;
    SCOPED_TRACE(::testing::Message() << width << "x" << height);
    const TestChannel src = MakeChannel(width, height, step, width % 7, width % 3 == 0, rng);
    TestChannel expected = MakeChannel(width, height, step, (width * 5) % 11, false, rng);
    TestChannel actual = expected;
    CopyChannel<uint8_t>(Out(expected), In(src), {width, height, step});
    kernels->copy(Out(actual), In(src), {width, height, step});
    ASSERT_EQ(expected.buffer, actual.buffer);
  }
}

std::string PathAndStepName(const ::testing::TestParamInfo<PathAndStep>& info) {
  return std::get<0>(info.param) + "_step" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Paths, MergeAndCopyFastPath,
                         ::testing::Combine(::testing::ValuesIn(PathNames()), ::testing::Range(1, 5)), PathAndStepName);
// A build whose architecture has no rung yet runs the reference alone: no paths to compare here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GaussianFastPath);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GaussianMergeFastPath);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BoxFastPath);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(MergeAndCopyFastPath);

}  // namespace
}  // namespace sorvan::testing
