// The 8-bit fast averages at every width from the minimum to well past two of the widest
// vectors, with the scratch allocated to exactly the bytes the table asks for and its
// workspace at the very end: a row buffer read or written past its size shows up under
// AddressSanitizer, and the result must still be the reference's.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/kernels/gaussian_weights.h"
#include "tests/support/fast_path_support.h"

namespace sorvan::testing {
namespace {

// Plane, box table and workspace back to back in one allocation of exactly their sizes.
struct ExactScratch {
  std::vector<uint8_t> storage;
  ScratchBlock block;

  ExactScratch(size_t planeBytes, size_t boxBytes, size_t workspaceBytes)
      : storage(planeBytes + boxBytes + workspaceBytes) {
    block.base = storage.data();
    block.layout = {0, planeBytes, planeBytes, boxBytes, planeBytes + boxBytes, workspaceBytes, storage.size()};
  }
};

using PathAndRadius = std::tuple<std::string, int32_t>;
class FastPathWorkspace : public ::testing::TestWithParam<PathAndRadius> {};

TEST_P(FastPathWorkspace, EveryWidthStaysInsideItsWorkspace) {
  const auto& [name, rad] = GetParam();
  const SampleKernels<uint8_t>* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  std::mt19937 rng(7000 + rad);
  const GaussianWeights weights = BuildGaussianWeights(rad, 3);
  const int32_t window = 2 * rad + 1;
  for (int32_t width = window; width <= window + 140; ++width) {
    const int32_t height = window + width % 3;
    const int32_t step = 1 + width % 2;
    SCOPED_TRACE(::testing::Message() << width << "x" << height << " step " << step);
    TestChannel src = MakeChannel(width, height, step, 0, false, rng);
    FillSamples(src, width, height, step, width, rng);
    const TestChannel blank = MakeChannel(width, height, step, 0, false, rng);
    const ChannelShape shape = {width, height, step};
    ExactScratch scratch(static_cast<size_t>(width) * height * sizeof(int32_t),
                         static_cast<size_t>(window) * window * sizeof(int32_t), kernels->workspaceBytes(width));
    const MergeLimits<uint8_t> limits = {3, 5};

    TestChannel expected = blank;
    TestChannel actual = blank;
    GaussianSurroundAverage<uint8_t>(Out(expected), In(src), shape, weights.Params(), scratch.block.Plane<int32_t>());
    LimitMerge<uint8_t>(Out(expected), In(src), In(expected), shape, limits);
    kernels->gaussianMerge(Out(actual), In(src), shape, weights.Params(), limits, scratch.block);
    ASSERT_EQ(expected.buffer, actual.buffer) << "Gaussian and merge";

    expected = blank;
    actual = blank;
    BoxAverage<uint8_t>(Out(expected), In(src), shape, window, scratch.block.BoxOffsets());
    kernels->box(Out(actual), In(src), shape, window, scratch.block);
    ASSERT_EQ(expected.buffer, actual.buffer) << "box";
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, FastPathWorkspace,
                         ::testing::Combine(::testing::ValuesIn(FastPathNames()), ::testing::Range(1, 9)),
                         [](const ::testing::TestParamInfo<PathAndRadius>& info) {
                           return std::get<0>(info.param) + "_rad" + std::to_string(std::get<1>(info.param));
                         });
// A build whose architecture has no rung yet runs the reference alone: no paths to compare here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FastPathWorkspace);

}  // namespace
}  // namespace sorvan::testing
