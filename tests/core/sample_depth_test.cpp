// The generic reference at every depth: exactly the 8-bit reference as it was at 8 bits, and
// the worked values of deeper and float samples.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/filter_plan.h"
#include "core/kernels/gaussian_weights.h"
#include "core/kernels/reference_kernels.h"
#include "tests/support/eight_bit_reference.h"
#include "tests/support/expected_channel.h"
#include "tests/support/format_frame.h"
#include "tests/support/run_kernels.h"

namespace sorvan::testing {
namespace {

TEST(GenericReference, GivesTheEightBitReferenceBytesForEveryRadiusAndStrength) {
  std::mt19937 rng(21);
  for (int32_t rad = 1; rad <= 8; ++rad) {
    for (int32_t str = 1; str <= 8; ++str) {
      const int32_t w = 2 * rad + static_cast<int32_t>(rng() % 30);
      const int32_t h = 2 * rad + 1 + static_cast<int32_t>(rng() % 20);
      const int32_t step = 1 + static_cast<int32_t>(rng() % 4);
      const int32_t pitch = w * step + static_cast<int32_t>(rng() % 9);
      std::vector<uint8_t> src(static_cast<size_t>(pitch) * h);
      for (uint8_t& b : src) b = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 100 + rng() % 12);
      const GaussianWeights g = BuildGaussianWeights(rad, str);
      std::vector<uint8_t> legacy(src.size(), 0), generic(src.size(), 0);
      std::vector<int32_t> rows(static_cast<size_t>(w) * h);
      eight_bit::GaussianSurroundAverage(legacy.data(), pitch, src.data(), pitch, rows.data(), h, w, step, g.taps,
                                         g.window, 10, g.surroundWeight, g.centreWeightSq);
      GaussianSurroundAverage<uint8_t>({generic.data(), pitch}, {src.data(), pitch}, {w, h, step}, g.Params(),
                                       rows.data());
      ASSERT_EQ(legacy, generic) << "Gaussian rad " << rad << " str " << str;
      if (w < g.window || h < g.window) continue;
      std::vector<int32_t> offsets(static_cast<size_t>(g.window) * g.window);
      eight_bit::BoxAverage(legacy.data(), pitch, src.data(), pitch, h, w, step, g.window, offsets.data());
      BoxAverage<uint8_t>({generic.data(), pitch}, {src.data(), pitch}, {w, h, step}, g.window, offsets.data());
      ASSERT_EQ(legacy, generic) << "box rad " << rad;
    }
  }
}

template <typename T>
std::vector<T> RunAverage(bool box, int32_t rad, int32_t str, int32_t w, int32_t h, const std::vector<T>& in) {
  const GaussianWeights g = BuildGaussianWeights(rad, str);
  std::vector<T> out(in.size());
  const int32_t pitch = w * static_cast<int32_t>(sizeof(T));
  std::vector<typename SampleTraits<T>::RowSum> rows(static_cast<size_t>(w) * h);
  std::vector<int32_t> offsets(static_cast<size_t>(g.window) * g.window);
  if (box) {
    BoxAverage<T>({out.data(), pitch}, {in.data(), pitch}, {w, h, 1}, g.window, offsets.data());
  } else {
    GaussianSurroundAverage<T>({out.data(), pitch}, {in.data(), pitch}, {w, h, 1}, g.Params(), rows.data());
  }
  return out;
}

TEST(DeepSamples, FlatChannelsStayFlatUnderTheGaussianAtEveryDepth) {
  for (int32_t bits = 9; bits <= 16; ++bits) {
    const int32_t top = (1 << bits) - 1;
    for (int32_t rad : {1, 5, 8}) {
      for (int32_t v : {0, 1, top / 3, top - 1, top}) {
        const std::vector<uint16_t> in(static_cast<size_t>(2 * rad + 3) * (2 * rad + 2), static_cast<uint16_t>(v));
        EXPECT_EQ(RunAverage<uint16_t>(false, rad, 4, 2 * rad + 3, 2 * rad + 2, in), in)
            << bits << " bits, rad " << rad << ", v " << v;
      }
    }
  }
}

TEST(DeepSamples, BoxOfAFlatAreaFollowsTheFixedPointRule) {
  for (int32_t bits : {10, 16}) {
    for (int32_t rad = 1; rad <= 8; ++rad) {
      const int64_t window = 2 * rad + 1;
      const int64_t n = (int64_t{1} << 20) / (window * window);
      for (int64_t v : {int64_t{1}, int64_t{512}, int64_t{777}, (int64_t{1} << bits) - 1}) {
        const int32_t side = static_cast<int32_t>(window) + 2;
        const std::vector<uint16_t> in(static_cast<size_t>(side) * side, static_cast<uint16_t>(v));
        const std::vector<uint16_t> out = RunAverage<uint16_t>(true, rad, 4, side, side, in);
        const int64_t expected = (v * window * window * n) >> 20;
        for (uint16_t s : out) ASSERT_EQ(s, expected) << bits << " bits, rad " << rad << ", v " << v;
      }
    }
  }
}

TEST(DeepSamples, AllMaximumSixteenBitChannelDoesNotOverflow) {
  const int32_t side = 40;
  const std::vector<uint16_t> in(static_cast<size_t>(side) * side, 65535);
  for (int32_t str = 1; str <= 8; ++str) EXPECT_EQ(RunAverage<uint16_t>(false, 8, str, side, side, in), in);
  const std::vector<uint16_t> box = RunAverage<uint16_t>(true, 8, 1, side, side, in);
  EXPECT_EQ(box[0], (int64_t{65535} * 289 * ((1 << 20) / 289)) >> 20);
}

TEST(FloatSamples, FlatStaysFlatAndTheBoxIsThePlainMean) {
  for (float v : {0.0f, 0.25f, 1.0f, -0.5f}) {
    for (bool box : {false, true}) {
      const std::vector<float> in(13 * 12, v);
      for (float s : RunAverage<float>(box, 5, 4, 13, 12, in)) ASSERT_NEAR(s, v, 1e-7) << (box ? "box" : "gaussian");
    }
  }
  // A ramp's box mean away from the edges is the centre sample exactly.
  std::vector<float> ramp(21 * 9);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 21; ++x) ramp[static_cast<size_t>(y) * 21 + x] = 0.01f * static_cast<float>(x);
  const std::vector<float> out = RunAverage<float>(true, 2, 1, 21, 9, ramp);
  EXPECT_NEAR(out[4 * 21 + 10], ramp[4 * 21 + 10], 1e-6);
}

TEST(FloatSamples, NotANumberStaysInsideTheFrame) {
  std::vector<float> in(20 * 20, 0.5f);
  in[10 * 20 + 10] = std::nanf("");
  in[3] = INFINITY;
  const std::vector<float> out = RunAverage<float>(false, 3, 2, 20, 20, in);
  EXPECT_EQ(out[0 * 20 + 19], 0.5f);  // far from both
}

// A spike on a flat area: the interior Gaussian leaves the centre out, so the spike's average
// is the flat value and s − a is the spike's height. pgu=1 at 10 bits is 4 levels; ngu=4 is 16.
TEST(DeepSamples, LimitsScaleWithTheDepth) {
  const VideoFormat format = PlanarFormat({.bitsPerSample = 10});
  const struct {
    int32_t height;
    bool smoothed;
  } cases[] = {{4, true}, {5, false}, {-16, true}, {-17, false}};
  for (const auto& c : cases) {
    FormatFrame src(format, 24, 24);
    src.Fill([&](int32_t ch, int32_t y, int32_t x) { return ch == 1 && y == 12 && x == 12 ? 400 + c.height : 400; });
    FormatFrame dst(format, 24, 24);
    FilterPlan plan;
    ASSERT_EQ(plan.Init(DefaultArguments(), format, 24, 24), PlanStatus::kOk);
    ASSERT_TRUE(plan.Process(dst.View(), src.SourceView(), kMemoryCopyPlane));
    EXPECT_EQ(dst.At<uint16_t>(format.channels[1], 12, 12), c.smoothed ? 400 : 400 + c.height) << c.height;
  }
}

TEST(Formats, OnlyEightToSixteenBitIntegersAndSingleFloatArePlanned) {
  auto status = [](SampleType t, int32_t bits) {
    FilterPlan plan;
    return plan.Init(DefaultArguments(),
                     PlanarFormat({.sampleType = t, .bitsPerSample = bits, .widthShift = 1, .heightShift = 1}), 16, 16);
  };
  EXPECT_EQ(status(SampleType::kInteger, 8), PlanStatus::kOk);
  EXPECT_EQ(status(SampleType::kInteger, 16), PlanStatus::kOk);
  EXPECT_EQ(status(SampleType::kFloat, 32), PlanStatus::kOk);
  EXPECT_EQ(status(SampleType::kInteger, 7), PlanStatus::kUnsupportedFormat);
  EXPECT_EQ(status(SampleType::kInteger, 17), PlanStatus::kUnsupportedFormat);
  EXPECT_EQ(status(SampleType::kFloat, 16), PlanStatus::kUnsupportedFormat);
}

TEST(Formats, PlaneSizesRoundUpAndPackedLayoutsNumberChannelsByColour) {
  const VideoFormat yuv410 = PlanarFormat({.widthShift = 2, .heightShift = 2});
  EXPECT_EQ(PlaneWidth(yuv410, 0, 33), 33);
  EXPECT_EQ(PlaneWidth(yuv410, 1, 33), 9);
  EXPECT_EQ(PlaneHeight(yuv410, 2, 5), 2);
  EXPECT_EQ(FrameBytes(yuv410, 33, 5), 33 * 5 + 2 * 9 * 2);
  const VideoFormat rgb48 = PackedFormat(PackedLayout::kRgb48);
  EXPECT_EQ(rgb48.channels[0].offset, 2);  // blue is last in memory
  EXPECT_EQ(rgb48.channels[2].offset, 0);
  EXPECT_EQ(PlaneRowBytes(rgb48, 0, 10), 60);
  const VideoFormat uyvy = PackedFormat(PackedLayout::kUyvy);
  EXPECT_EQ(uyvy.channels[0].offset, 1);
  EXPECT_EQ(uyvy.channels[1].offset, 0);
  EXPECT_EQ(uyvy.channels[2].offset, 2);
  EXPECT_TRUE(IsProcessableFormat(uyvy) && IsProcessableFormat(rgb48) && IsProcessableFormat(yuv410));
}

}  // namespace
}  // namespace sorvan::testing
