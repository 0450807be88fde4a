// Every float fast path this CPU has against the double-precision reference, under the rule of
// the formats note: at most 2^−20 per averaged sample, either merge choice where the source lies
// within 2^−20 of a limit. NaN, infinity and huge values must not crash or read out of bounds.
#include <gtest/gtest.h>

#include "core/kernels/gaussian_weights.h"
#include "tests/support/sample_kernel_support.h"

namespace sorvan::testing {
namespace {

class FloatFastPath : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    fast_ = FastPath<float>(GetParam());
    if (fast_ == nullptr) GTEST_SKIP() << "this CPU (or build) has no " << GetParam() << " path for float samples";
    ASSERT_NE(fast_, &ReferenceKernels<float>());
  }
  const SampleKernels<float>* fast_ = nullptr;
};

// Nominal content: luma-like 0…1, chroma-like −0.5…0.5, a ramp with small noise (both merge
// branches), flat areas, and values a little out of range.
void FillFloats(SampleBuffer<float>& b, const ChannelShape& s, std::mt19937& rng) {
  std::uniform_real_distribution<float> any(-1.0f, 1.0f);
  for (auto& v : b.samples) v = any(rng);
  const int32_t kind = static_cast<int32_t>(rng() % 4);
  const float level = any(rng) * 0.5f + 0.5f;
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      float v = 0.0f;
      switch (kind) {
        case 0: v = any(rng) * 0.5f + 0.5f; break;
        case 1: v = level + static_cast<float>((x + y) % 40 - 20) / 400.0f + any(rng) * 0.02f; break;
        case 2: v = any(rng) * 0.5f; break;
        default: v = any(rng) * 1.2f; break;
      }
      b.At(y, x, s.step) = v;
    }
  }
}

std::string Describe(const ChannelShape& s, int32_t rad, int32_t str) {
  return "width " + std::to_string(s.width) + " height " + std::to_string(s.height) + " step " +
         std::to_string(s.step) + " rad " + std::to_string(rad) + " str " + std::to_string(str);
}

std::vector<float> RunGaussian(const SampleKernels<float>& k, const SampleBuffer<float>& src, SampleBuffer<float> dst,
                               const ChannelShape& s, const GaussianWeights& w, const MergeLimits<float>* merge) {
  TestScratch<float> scratch(k, s, w.window);
  if (merge != nullptr && k.gaussianMerge != nullptr) {
    k.gaussianMerge(dst.View(), src.ConstView(), s, w.Params(), *merge, scratch.Block());
  } else {
    k.gaussian(dst.View(), src.ConstView(), s, w.Params(), scratch.Block());
    if (merge != nullptr) k.limitMerge(dst.View(), src.ConstView(), dst.ConstView(), s, *merge);
  }
  return dst.samples;
}

std::vector<float> RunBox(const SampleKernels<float>& k, const SampleBuffer<float>& src, SampleBuffer<float> dst,
                          const ChannelShape& s, int32_t window, const MergeLimits<float>* merge) {
  TestScratch<float> scratch(k, s, window);
  k.box(dst.View(), src.ConstView(), s, window, scratch.Block());
  if (merge != nullptr) k.limitMerge(dst.View(), src.ConstView(), dst.ConstView(), s, *merge);
  return dst.samples;
}

// Compares the channel's samples under the rule; every other sample of the buffer must be
// untouched (bit for bit).
void ExpectAgreement(const SampleBuffer<float>& src, const std::vector<float>& referenceAverage,
                     const std::vector<float>& reference, const std::vector<float>& fast, const ChannelShape& s,
                     const MergeLimits<float>* merge) {
  ASSERT_EQ(reference.size(), fast.size());
  std::vector<bool> inChannel(reference.size(), false);
  const size_t stride = static_cast<size_t>(src.pitch) / sizeof(float);
  int32_t failures = 0;
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      const size_t i = static_cast<size_t>(y) * stride + static_cast<size_t>(x) * s.step;
      inChannel[i] = true;
      const bool ok = merge == nullptr ? FloatAverageAgrees(reference[i], fast[i])
                                       : FloatMergeAgrees(src.samples[i], referenceAverage[i], reference[i], fast[i],
                                                          merge->positive, merge->negative);
      if (!ok && ++failures <= 5) {
        ADD_FAILURE() << "sample (" << y << ", " << x << "): reference " << reference[i] << ", fast " << fast[i]
                      << ", difference " << static_cast<double>(fast[i]) - reference[i];
      }
    }
  }
  for (size_t i = 0; i < reference.size(); ++i) {
    if (!inChannel[i] && memcmp(&reference[i], &fast[i], sizeof(float)) != 0 && ++failures <= 5) {
      ADD_FAILURE() << "a sample outside the channel changed at index " << i;
    }
  }
  EXPECT_EQ(failures, 0);
}

MergeLimits<float> RandomLimits(std::mt19937& rng) {
  return {static_cast<double>(rng() % 11) / 255.0, static_cast<double>(rng() % 11) / 255.0};
}

TEST_P(FloatFastPath, GaussianWithAndWithoutMergeStaysWithinToleranceForEveryRadAndStrength) {
  std::mt19937 rng(21);
  const SampleKernels<float>& ref = ReferenceKernels<float>();
  for (int32_t rad = 1; rad <= kMaxRadius; ++rad) {
    for (int32_t str = 1; str <= 8; ++str) {
      const ChannelShape s = RandomShape(rng, 2 * rad, {1, 1, 3, 4});
      SampleBuffer<float> src = MakeSampleBuffer<float>(s, static_cast<int32_t>(rng() % 5));
      FillFloats(src, s, rng);
      SampleBuffer<float> dst = src;
      for (auto& v : dst.samples) v = static_cast<float>(rng() % 1000);
      const GaussianWeights w = BuildGaussianWeights(rad, str);
      const MergeLimits<float> limits = RandomLimits(rng);
      SCOPED_TRACE(Describe(s, rad, str));
      const std::vector<float> average = RunGaussian(ref, src, dst, s, w, nullptr);
      ExpectAgreement(src, average, average, RunGaussian(*fast_, src, dst, s, w, nullptr), s, nullptr);
      ExpectAgreement(src, average, RunGaussian(ref, src, dst, s, w, &limits),
                      RunGaussian(*fast_, src, dst, s, w, &limits), s, &limits);
    }
  }
}

TEST_P(FloatFastPath, BoxWithAndWithoutMergeStaysWithinToleranceForEveryRad) {
  std::mt19937 rng(22);
  const SampleKernels<float>& ref = ReferenceKernels<float>();
  for (int32_t round = 0; round < 32; ++round) {
    const int32_t rad = 1 + round % kMaxRadius;
    const int32_t window = 2 * rad + 1;
    const ChannelShape s = RandomShape(rng, window, {1, 1, 3, 4});
    SampleBuffer<float> src = MakeSampleBuffer<float>(s, static_cast<int32_t>(rng() % 5));
    FillFloats(src, s, rng);
    SampleBuffer<float> dst = src;
    const MergeLimits<float> limits = RandomLimits(rng);
    SCOPED_TRACE(Describe(s, rad, 0));
    const std::vector<float> average = RunBox(ref, src, dst, s, window, nullptr);
    ExpectAgreement(src, average, average, RunBox(*fast_, src, dst, s, window, nullptr), s, nullptr);
    ExpectAgreement(src, average, RunBox(ref, src, dst, s, window, &limits),
                    RunBox(*fast_, src, dst, s, window, &limits), s, &limits);
  }
}

// NaN, infinities and values far outside the nominal range: no crash, no read outside the
// channel (AddressSanitizer), and the reference's result.
TEST_P(FloatFastPath, NonFiniteAndHugeSamplesGiveTheReferenceResult) {
  std::mt19937 rng(23);
  const SampleKernels<float>& ref = ReferenceKernels<float>();
  const float specials[] = {std::nanf(""), INFINITY, -INFINITY, 3.0e38f, -70000.0f, 16.0f};
  for (int32_t round = 0; round < 24; ++round) {
    const int32_t rad = 1 + round % kMaxRadius;
    const ChannelShape s = RandomShape(rng, 2 * rad + 1, {1, 3});
    SampleBuffer<float> src = MakeSampleBuffer<float>(s, 1);
    FillFloats(src, s, rng);
    src.At(static_cast<int32_t>(rng() % s.height), static_cast<int32_t>(rng() % s.width), s.step) = specials[round % 6];
    SampleBuffer<float> dst = src;
    const GaussianWeights w = BuildGaussianWeights(rad, 1 + static_cast<int32_t>(rng() % 8));
    const MergeLimits<float> limits = RandomLimits(rng);
    SCOPED_TRACE(Describe(s, rad, 0));
    const std::vector<float> fastGaussian = RunGaussian(*fast_, src, dst, s, w, &limits);
    const std::vector<float> refGaussian = RunGaussian(ref, src, dst, s, w, &limits);
    EXPECT_EQ(0, memcmp(fastGaussian.data(), refGaussian.data(), refGaussian.size() * sizeof(float)));
    const std::vector<float> fastBox = RunBox(*fast_, src, dst, s, w.window, nullptr);
    const std::vector<float> refBox = RunBox(ref, src, dst, s, w.window, nullptr);
    EXPECT_EQ(0, memcmp(fastBox.data(), refBox.data(), refBox.size() * sizeof(float)));
  }
}

// The check that sends a channel to the reference (the Gaussian's and the box's) must see every
// sample of a row: one huge sample at each column of rows of every width up to three of the
// widest vector groups; the box's running sums, had they taken it, would lose every small sample
// after it.
TEST_P(FloatFastPath, OneHugeSampleAtAnyColumnGivesTheReferenceResult) {
  for (int32_t width = 4; width <= 52; ++width) {
    const ChannelShape s = {width, 5, 1};
    for (int32_t x = 0; x < width; ++x) {
      SampleBuffer<float> src = MakeSampleBuffer<float>(s, 0);
      for (size_t i = 0; i < src.samples.size(); ++i) src.samples[i] = 0.25f + static_cast<float>(i % 7) / 64.0f;
      src.At(1, x, 1) = 3.0e38f;
      SCOPED_TRACE(Describe(s, 2, 0) + " huge sample at " + std::to_string(x));
      const std::vector<float> fast = RunBox(*fast_, src, src, s, 5, nullptr);
      const std::vector<float> reference = RunBox(ReferenceKernels<float>(), src, src, s, 5, nullptr);
      ASSERT_EQ(0, memcmp(fast.data(), reference.data(), reference.size() * sizeof(float)));
    }
  }
}

TEST_P(FloatFastPath, MergeIntoAnotherChannelAndCopyMatchReference) {
  std::mt19937 rng(24);
  for (int32_t round = 0; round < 40; ++round) {
    const ChannelShape s = RandomShape(rng, 1, {1, 3, 4});
    SampleBuffer<float> src = MakeSampleBuffer<float>(s, static_cast<int32_t>(rng() % 3));
    SampleBuffer<float> smoothed = src;
    SampleBuffer<float> out = src;
    FillFloats(src, s, rng);
    FillFloats(smoothed, s, rng);
    FillFloats(out, s, rng);
    const MergeLimits<float> limits = RandomLimits(rng);
    SampleBuffer<float> fastOut = out;
    SampleBuffer<float> referenceOut = out;
    fast_->limitMerge(fastOut.View(), src.ConstView(), smoothed.ConstView(), s, limits);
    LimitMerge<float>(referenceOut.View(), src.ConstView(), smoothed.ConstView(), s, limits);
    EXPECT_EQ(fastOut.samples, referenceOut.samples) << Describe(s, 0, 0);
    fastOut = out;
    referenceOut = out;
    fast_->copy(fastOut.View(), src.ConstView(), s);
    CopyChannel<float>(referenceOut.View(), src.ConstView(), s);
    EXPECT_EQ(fastOut.samples, referenceOut.samples) << Describe(s, 0, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, FloatFastPath, ::testing::ValuesIn(FastPathNames<float>()),
                         [](const auto& info) { return info.param; });
// A build whose architecture has no rung yet runs the reference alone: no paths to compare here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FloatFastPath);

}  // namespace
}  // namespace sorvan::testing
