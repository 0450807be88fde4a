// The same picture in two carriers gives the same picture out: packed RGB against planar RGB,
// packed 4:2:2 against planar 4:2:2, YV12 and I420 against planar 4:2:0, and RGB24 against BGR24
// (channels are numbered by colour, not by memory position).
#include <gtest/gtest.h>

#include <random>

#include "core/filter_plan.h"
#include "tests/support/expected_channel.h"
#include "tests/support/five_layouts.h"
#include "tests/support/format_frame.h"

namespace sorvan::testing {
namespace {

// One picture, made by the same function of (channel, y, x), in a frame of `format`.
FormatFrame Picture(const VideoFormat& format, int32_t w, int32_t h, int32_t padding, uint32_t seed) {
  FormatFrame f(format, w, h, padding, 0x77);
  f.Fill([seed](int32_t c, int32_t y, int32_t x) {
    std::mt19937 rng(seed * 7919u + static_cast<uint32_t>(c * 1000003 + y * 4099 + x));
    return static_cast<double>((60 + 3 * c + x + 2 * y + static_cast<int32_t>(rng() % 9)) % 256);
  });
  return f;
}

FormatFrame Filtered(const FilterArguments& a, const VideoFormat& format, int32_t w, int32_t h, uint32_t seed) {
  FormatFrame src = Picture(format, w, h, 5, seed);
  FormatFrame dst(format, w, h, 3, 0x55);
  FilterPlan plan;
  EXPECT_EQ(plan.Init(a, format, w, h), PlanStatus::kOk);
  EXPECT_TRUE(plan.Process(dst.View(), src.SourceView(), kMemoryCopyPlane));
  return dst;
}

// Every channel (and alpha, where both have it) of two frames, sample by sample.
void ExpectSamePicture(FormatFrame& a, FormatFrame& b) {
  for (int32_t c = 0; c < 4; ++c) {
    const ChannelPlacement& pa = c < 3 ? a.format.channels[c] : a.format.alpha;
    const ChannelPlacement& pb = c < 3 ? b.format.channels[c] : b.format.alpha;
    if (!HasChannel(pa) || !HasChannel(pb)) continue;
    ASSERT_EQ(a.ChannelWidth(pa), b.ChannelWidth(pb));
    ASSERT_EQ(a.ChannelHeight(pa), b.ChannelHeight(pb));
    for (int32_t y = 0; y < a.ChannelHeight(pa); ++y)
      for (int32_t x = 0; x < a.ChannelWidth(pa); ++x)
        ASSERT_EQ(a.At<uint8_t>(pa, y, x), b.At<uint8_t>(pb, y, x)) << "channel " << c << " at " << y << "," << x;
  }
}

struct Pair {
  const char* name;
  VideoFormat packed;
  VideoFormat planar;
};

class Carriers : public ::testing::TestWithParam<int> {};

TEST_P(Carriers, GiveTheSamePicture) {
  const int32_t w = 46, h = 30;
  const Pair pairs[] = {
      {"BGR24/planar RGB", PackedFormat(PackedLayout::kBgr24),
       PlanarFormat({.family = ColourFamily::kRgb, .channelPlanes = {1, 0, 2}})},
      {"RGB24/planar RGB", PackedFormat(PackedLayout::kRgb24),
       PlanarFormat({.family = ColourFamily::kRgb, .channelPlanes = {2, 1, 0}})},
      {"BGRA32/planar RGBA", PackedFormat(PackedLayout::kBgra32),
       PlanarFormat({.family = ColourFamily::kRgb, .alpha = true, .channelPlanes = {1, 0, 2}})},
      {"ARGB32/planar RGBA", PackedFormat(PackedLayout::kArgb32),
       PlanarFormat({.family = ColourFamily::kRgb, .alpha = true, .channelPlanes = {2, 1, 0}})},
      {"YUYV/planar 4:2:2", PackedFormat(PackedLayout::kYuyv), PlanarFormat({.widthShift = 1})},
      {"UYVY/planar 4:2:2", PackedFormat(PackedLayout::kUyvy), PlanarFormat({.widthShift = 1})},
      {"YV12/I420", Yv12(), I420()},
  };
  const int variant = GetParam();
  const FilterArguments a = variant == 0   ? DefaultArguments()
                            : variant == 1 ? Arguments({{kRy, 1}, {kRad, 2}, {kStr, 7}})
                                           : Arguments({{kRy, 1}, {kGu, 0}, {kForce, 1}, {kRad, 3}});
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.name);
    FormatFrame packed = Filtered(a, p.packed, w, h, 11);
    FormatFrame planar = Filtered(a, p.planar, w, h, 11);
    ExpectSamePicture(packed, planar);
  }
}

INSTANTIATE_TEST_SUITE_P(Arguments, Carriers, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace sorvan::testing
