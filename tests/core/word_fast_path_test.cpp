// Every B-bit fast path this CPU has against the reference, bit for bit: both averages with and
// without the merge, every rad, str and depth, planes and packed 16-bit RGB, words above 2^B − 1.
#include <gtest/gtest.h>

#include "core/kernels/gaussian_weights.h"
#include "tests/support/sample_kernel_support.h"

namespace sorvan::testing {
namespace {

class WordFastPath : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    fast_ = FastPath<uint16_t>(GetParam());
    if (fast_ == nullptr) GTEST_SKIP() << "this CPU (or build) has no " << GetParam() << " path for B-bit samples";
    ASSERT_NE(fast_, &ReferenceKernels<uint16_t>());
  }
  const SampleKernels<uint16_t>* fast_ = nullptr;
};

// Samples of B bits: noise, a ramp with small noise (both merge branches), flat, extremes; with
// `anyWord` every 16-bit value.
void FillWords(SampleBuffer<uint16_t>& b, const ChannelShape& s, int32_t bits, bool anyWord, std::mt19937& rng) {
  for (auto& v : b.samples) v = static_cast<uint16_t>(rng());
  const int32_t top = anyWord ? 65535 : (1 << bits) - 1;
  const int32_t kind = static_cast<int32_t>(rng() % 4);
  const int32_t level = static_cast<int32_t>(rng() % (top + 1));
  const int32_t ripple = 1 << (bits - 5);
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      int32_t v = 0;
      switch (kind) {
        case 0: v = static_cast<int32_t>(rng() % (top + 1)); break;
        case 1: v = level + ((x + y) % 40 - 20) * ripple / 8 + static_cast<int32_t>(rng() % ripple) - ripple / 2; break;
        case 2: v = level; break;
        default: v = rng() % 3 == 0 ? 0 : top; break;
      }
      b.At(y, x, s.step) = static_cast<uint16_t>(v < 0 ? 0 : (v > top ? top : v));
    }
  }
}

MergeLimits<uint16_t> RandomLimits(int32_t bits, std::mt19937& rng) {
  return {static_cast<int32_t>(rng() % 11) << (bits - 8), static_cast<int32_t>(rng() % 11) << (bits - 8)};
}

std::string Describe(const ChannelShape& s, int32_t bits, int32_t rad, int32_t str) {
  return "width " + std::to_string(s.width) + " height " + std::to_string(s.height) + " step " +
         std::to_string(s.step) + " bits " + std::to_string(bits) + " rad " + std::to_string(rad) + " str " +
         std::to_string(str);
}

// Runs one table's Gaussian (fused with the merge when `merge`) on a copy of `initial`.
std::vector<uint16_t> RunGaussian(const SampleKernels<uint16_t>& k, const SampleBuffer<uint16_t>& src,
                                  SampleBuffer<uint16_t> dst, const ChannelShape& s, const GaussianWeights& w,
                                  const MergeLimits<uint16_t>* merge) {
  TestScratch<uint16_t> scratch(k, s, w.window);
  if (merge == nullptr) {
    k.gaussian(dst.View(), src.ConstView(), s, w.Params(), scratch.Block());
  } else if (k.gaussianMerge != nullptr) {
    k.gaussianMerge(dst.View(), src.ConstView(), s, w.Params(), *merge, scratch.Block());
  } else {
    k.gaussian(dst.View(), src.ConstView(), s, w.Params(), scratch.Block());
    k.limitMerge(dst.View(), src.ConstView(), dst.ConstView(), s, *merge);
  }
  return dst.samples;
}

std::vector<uint16_t> RunBox(const SampleKernels<uint16_t>& k, const SampleBuffer<uint16_t>& src,
                             SampleBuffer<uint16_t> dst, const ChannelShape& s, int32_t window,
                             const MergeLimits<uint16_t>* merge) {
  TestScratch<uint16_t> scratch(k, s, window);
  k.box(dst.View(), src.ConstView(), s, window, scratch.Block());
  if (merge != nullptr) k.limitMerge(dst.View(), src.ConstView(), dst.ConstView(), s, *merge);
  return dst.samples;
}

TEST_P(WordFastPath, GaussianWithAndWithoutMergeMatchesReferenceForEveryRadStrengthAndDepth) {
  std::mt19937 rng(11);
  for (int32_t rad = 1; rad <= kMaxRadius; ++rad) {
    for (int32_t str = 1; str <= 8; ++str) {
      const int32_t bits = 9 + static_cast<int32_t>(rng() % 8);
      const ChannelShape s = RandomShape(rng, 2 * rad, {1, 1, 3, 4});
      SampleBuffer<uint16_t> src = MakeSampleBuffer<uint16_t>(s, static_cast<int32_t>(rng() % 5));
      SampleBuffer<uint16_t> dst = src;
      FillWords(src, s, bits, false, rng);
      for (auto& v : dst.samples) v = static_cast<uint16_t>(rng());
      const GaussianWeights w = BuildGaussianWeights(rad, str);
      const MergeLimits<uint16_t> limits = RandomLimits(bits, rng);
      SCOPED_TRACE(Describe(s, bits, rad, str));
      EXPECT_EQ(RunGaussian(*fast_, src, dst, s, w, nullptr),
                RunGaussian(ReferenceKernels<uint16_t>(), src, dst, s, w, nullptr));
      EXPECT_EQ(RunGaussian(*fast_, src, dst, s, w, &limits),
                RunGaussian(ReferenceKernels<uint16_t>(), src, dst, s, w, &limits));
    }
  }
}

TEST_P(WordFastPath, BoxWithAndWithoutMergeMatchesReferenceForEveryRadAndDepth) {
  std::mt19937 rng(12);
  for (int32_t rad = 1; rad <= kMaxRadius; ++rad) {
    for (int32_t bits = 9; bits <= 16; ++bits) {
      const int32_t window = 2 * rad + 1;
      const ChannelShape s = RandomShape(rng, window, {1, 1, 3, 4});
      SampleBuffer<uint16_t> src = MakeSampleBuffer<uint16_t>(s, static_cast<int32_t>(rng() % 5));
      SampleBuffer<uint16_t> dst = src;
      FillWords(src, s, bits, false, rng);
      for (auto& v : dst.samples) v = static_cast<uint16_t>(rng());
      const MergeLimits<uint16_t> limits = RandomLimits(bits, rng);
      SCOPED_TRACE(Describe(s, bits, rad, 0));
      EXPECT_EQ(RunBox(*fast_, src, dst, s, window, nullptr),
                RunBox(ReferenceKernels<uint16_t>(), src, dst, s, window, nullptr));
      EXPECT_EQ(RunBox(*fast_, src, dst, s, window, &limits),
                RunBox(ReferenceKernels<uint16_t>(), src, dst, s, window, &limits));
    }
  }
}

// Words above 2^B − 1 are bad input, but the result must still be the formulas' (no overflow):
// the full 16-bit range, where every sum is at its largest, in bands with rows of smaller words.
TEST_P(WordFastPath, EveryWordValueStaysExact) {
  std::mt19937 rng(13);
  for (int32_t round = 0; round < 24; ++round) {
    const int32_t rad = 1 + round % kMaxRadius;
    const ChannelShape s = RandomShape(rng, 2 * rad + 1, {1, 3});
    SampleBuffer<uint16_t> src = MakeSampleBuffer<uint16_t>(s, 1);
    SampleBuffer<uint16_t> dst = src;
    FillWords(src, s, 10, true, rng);
    // Bands of rows below 2^10, 2^14 and 2^15 among full-range ones: windows that mix every
    // kind of row the passes of any instruction set tell apart.
    const int32_t band = 1 + static_cast<int32_t>(rng() % 5);
    for (int32_t y = 0; y < s.height; ++y) {
      const uint16_t masks[4] = {0x3FF, 0x3FFF, 0x7FFF, 0xFFFF};
      for (int32_t x = 0; x < s.width; ++x) src.At(y, x, s.step) &= masks[(y / band + round) % 4];
    }
    const GaussianWeights w = BuildGaussianWeights(rad, 1 + static_cast<int32_t>(rng() % 8));
    const MergeLimits<uint16_t> limits = {2560, 0};
    SCOPED_TRACE(Describe(s, 16, rad, 0));
    EXPECT_EQ(RunGaussian(*fast_, src, dst, s, w, &limits),
              RunGaussian(ReferenceKernels<uint16_t>(), src, dst, s, w, &limits));
    EXPECT_EQ(RunBox(*fast_, src, dst, s, w.window, nullptr),
              RunBox(ReferenceKernels<uint16_t>(), src, dst, s, w.window, nullptr));
  }
}

// A path that classes rows by their widest word must see every word of the row: one full-range
// word, at each column of rows of every width up to three of the widest vector groups, among
// words that would each allow narrower sums (below 2^10; below 2^15, where opposite rows added
// in 16 bits would wrap).
TEST_P(WordFastPath, OneWideWordAtAnyColumnIsSummedExactly) {
  const GaussianWeights w = BuildGaussianWeights(2, 3);
  const MergeLimits<uint16_t> limits = {2560, 2560};
  for (const uint16_t background : {uint16_t{1000}, uint16_t{0x7000}}) {
    for (int32_t width = 4; width <= 70; ++width) {
      const ChannelShape s = {width, 5, 1};
      for (int32_t x = 0; x < width; ++x) {
        SampleBuffer<uint16_t> src = MakeSampleBuffer<uint16_t>(s, 0);
        for (auto& v : src.samples) v = background;
        src.At(1, x, 1) = 0xFFFF;
        SCOPED_TRACE(Describe(s, 16, 2, 3) + " wide word at " + std::to_string(x));
        ASSERT_EQ(RunGaussian(*fast_, src, src, s, w, &limits),
                  RunGaussian(ReferenceKernels<uint16_t>(), src, src, s, w, &limits));
      }
    }
  }
}

// The separate merge keeps `out` where the source is within the limits, also when `out` is not
// the smoothed channel; the copy touches only the channel's own words.
TEST_P(WordFastPath, MergeIntoAnotherChannelAndCopyMatchReference) {
  std::mt19937 rng(14);
  for (int32_t round = 0; round < 40; ++round) {
    const ChannelShape s = RandomShape(rng, 1, {1, 3, 4});
    SampleBuffer<uint16_t> src = MakeSampleBuffer<uint16_t>(s, static_cast<int32_t>(rng() % 3));
    SampleBuffer<uint16_t> smoothed = src;
    SampleBuffer<uint16_t> out = src;
    FillWords(src, s, 12, false, rng);
    FillWords(smoothed, s, 12, false, rng);
    for (auto& v : out.samples) v = static_cast<uint16_t>(rng());
    const MergeLimits<uint16_t> limits = {static_cast<int32_t>(rng() % 4096), static_cast<int32_t>(rng() % 4096)};
    SampleBuffer<uint16_t> fastOut = out;
    SampleBuffer<uint16_t> referenceOut = out;
    fast_->limitMerge(fastOut.View(), src.ConstView(), smoothed.ConstView(), s, limits);
    LimitMerge<uint16_t>(referenceOut.View(), src.ConstView(), smoothed.ConstView(), s, limits);
    EXPECT_EQ(fastOut.samples, referenceOut.samples) << Describe(s, 12, 0, 0);
    fastOut = out;
    referenceOut = out;
    fast_->copy(fastOut.View(), src.ConstView(), s);
    CopyChannel<uint16_t>(referenceOut.View(), src.ConstView(), s);
    EXPECT_EQ(fastOut.samples, referenceOut.samples) << Describe(s, 12, 0, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, WordFastPath, ::testing::ValuesIn(FastPathNames<uint16_t>()),
                         [](const auto& info) { return info.param; });
// A build whose architecture has no rung yet runs the reference alone: no paths to compare here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WordFastPath);

}  // namespace
}  // namespace sorvan::testing
