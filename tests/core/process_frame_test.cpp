// Whole frames of the five 8-bit layouts through a filter plan, checked channel by channel
// against the direct formulations, with padded rows and different source and destination pitches.
#include "core/filter_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/expected_channel.h"
#include "tests/support/five_layouts.h"
#include "tests/support/format_frame.h"

namespace sorvan::testing {
namespace {

constexpr uint8_t kFiller = 0xEE;

struct Switches {
  const char* name;
  bool ry, gu, bv, force;
  int32_t rad = 5, str = 4;
};

FilterArguments MakeArguments(const Switches& s) {
  return Arguments(
      {{kRy, s.ry}, {kGu, s.gu}, {kBv, s.bv}, {kForce, s.force}, {kRad, s.rad}, {kStr, s.str}, {kPry, 2}, {kNry, 5}});
}

struct CopyLog {
  struct Call {
    uint8_t* dst;
    int32_t dstPitch;
    const uint8_t* src;
    int32_t srcPitch, rowSize, height;
  };
  std::vector<Call> calls;
  bool performCopy = true;
};

void RecordingCopy(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
                   int32_t height) {
  auto* log = static_cast<CopyLog*>(context);
  log->calls.push_back({dst, dstPitch, src, srcPitch, rowSize, height});
  if (log->performCopy) CopyPlaneRows(nullptr, dst, dstPitch, src, srcPitch, rowSize, height);
}

void Filter(const FilterArguments& arguments, FormatFrame& dst, FormatFrame& src, CopyLog& log) {
  FilterPlan plan;
  ASSERT_EQ(plan.Init(arguments, src.format, src.width, src.height), PlanStatus::kOk);
  ASSERT_TRUE(plan.Process(dst.View(), src.SourceView(), CopyPlane{&RecordingCopy, &log}));
}

// Channel `c` of a frame (3: alpha), or none when the format has no such channel.
bool HasChannel(const VideoFormat& f, int32_t c) { return sorvan::HasChannel(c < 3 ? f.channels[c] : f.alpha); }

FormatFrame RandomFrame(const VideoFormat& format, int32_t w, int32_t h, int32_t padding, std::mt19937& rng) {
  FormatFrame f(format, w, h, padding, 0x11);
  f.Fill([&rng](int32_t, int32_t, int32_t) { return static_cast<double>(rng() % 256); });
  return f;
}

const Switches kSwitches[] = {
    {"defaults", false, true, true, false},
    {"ry_only", true, false, false, false},
    {"gu_only", false, true, false, false},
    {"bv_only", false, false, true, false},
    {"all", true, true, true, false},
    {"force_all_rad3", true, true, true, true, 3},
    {"force_gu_rad8", false, true, false, true, 8},
    {"rad1_str1", true, true, true, false, 1, 1},
    {"rad8_str8", true, false, true, false, 8, 8},
};

class FrameLayouts : public ::testing::TestWithParam<std::tuple<VideoFormat, Switches>> {};

TEST_P(FrameLayouts, EveryChannelMatchesAndPaddingSurvives) {
  const auto [format, sw] = GetParam();
  std::mt19937 rng(sw.rad);
  for (const auto& [w, h] : {std::pair{40, 36}, std::pair{34, 22}, std::pair{8, 6}}) {
    FormatFrame src = RandomFrame(format, w, h, 13, rng);
    FormatFrame dst(format, w, h, 7, kFiller);
    const FilterArguments arguments = MakeArguments(sw);
    CopyLog log;
    Filter(arguments, dst, src, log);

    for (int32_t c = 0; c < 4; ++c) {
      if (!HasChannel(format, c)) continue;
      const Plane source = EightBitChannel(src.SourceView(), format, c);
      EXPECT_EQ(EightBitChannel(dst.SourceView(), format, c).samples, ExpectedChannel(arguments, source, c).samples)
          << sw.name << " " << w << "x" << h << " channel " << c;
    }
    EXPECT_TRUE(dst.PaddingHolds(kFiller)) << "padding written, " << sw.name;
  }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, FrameLayouts,
                         ::testing::Combine(::testing::ValuesIn(FiveLayouts()), ::testing::ValuesIn(kSwitches)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

TEST(ProcessFrame, UnselectedPlanarChromaGoesThroughCopyPlaneWithTheSourceSize) {
  for (const VideoFormat& format : {Yv12(), I420()}) {
    std::mt19937 rng(3);
    FormatFrame src = RandomFrame(format, 30, 18, 2, rng);
    FormatFrame dst(format, 30, 18, 10, kFiller);
    CopyLog log;
    log.performCopy = false;  // so a copy made any other way would show
    Filter(MakeArguments({"ry", true, false, false, false}), dst, src, log);
    // In memory order, whichever chroma channel each plane holds (YV12: V first, I420: U).
    ASSERT_EQ(log.calls.size(), 2u);
    for (int plane = 1; plane <= 2; ++plane) {
      EXPECT_EQ(log.calls[plane - 1].dst, dst.planes[plane].data());
      EXPECT_EQ(log.calls[plane - 1].src, src.planes[plane].data());
    }
    for (const auto& call : log.calls) {
      EXPECT_EQ(call.dstPitch, dst.pitch[1]);
      EXPECT_EQ(call.srcPitch, src.pitch[1]);
      EXPECT_EQ(call.rowSize, 15);
      EXPECT_EQ(call.height, 9);
    }
    for (uint8_t b : dst.planes[1]) ASSERT_EQ(b, kFiller);
  }
}

TEST(ProcessFrame, EmptyChromaPlanesAreNotTouched) {
  std::mt19937 rng(4);
  const VideoFormat format = Yv12();
  FormatFrame src = RandomFrame(format, 24, 24, 0, rng);
  FormatFrame dst(format, 24, 24, 0, kFiller);
  SourceFrameView s = src.SourceView();
  FrameView d = dst.View();
  for (int plane = 1; plane < 3; ++plane) {
    s.planes[plane] = {nullptr, 0, 0, 0};  // any access would fault
    d.planes[plane] = {reinterpret_cast<uint8_t*>(16), 0, 0, 0};
  }
  for (const Switches& sw :
       {Switches{"defaults", false, true, true, false}, Switches{"ry", true, false, false, true}}) {
    FilterPlan plan;
    ASSERT_EQ(plan.Init(MakeArguments(sw), format, 24, 24), PlanStatus::kOk);
    CopyLog log;
    log.performCopy = false;
    ASSERT_TRUE(plan.Process(d, s, CopyPlane{&RecordingCopy, &log}));
    for (const auto& call : log.calls) {
      if (call.dst == d.planes[0].data) continue;  // the luma plane when ry is off
      EXPECT_EQ(call.rowSize, 0);
      EXPECT_EQ(call.height, 0);
    }
  }
}

TEST(ProcessFrame, ChannelsBelowTheMinimumComeOutEqualToTheSource) {
  // 2·rad − 1 for the Gaussian and window − 1 for the box, in width and in height.
  for (const bool force : {false, true}) {
    for (int32_t rad = 1; rad <= 8; ++rad) {
      const int32_t minimum = force ? 2 * rad + 1 : 2 * rad;
      for (const auto& [w, h] : {std::pair{minimum - 1, minimum + 4}, std::pair{minimum + 4, minimum - 1}}) {
        std::mt19937 rng(rad);
        FormatFrame src = RandomFrame(Rgb32(), w, h, 4, rng);
        FormatFrame dst(Rgb32(), w, h, 0, kFiller);
        CopyLog log;
        Filter(MakeArguments({"all", true, true, true, force, rad}), dst, src, log);
        for (int32_t c = 0; c < 4; ++c)
          EXPECT_EQ(EightBitChannel(dst.SourceView(), Rgb32(), c).samples,
                    EightBitChannel(src.SourceView(), Rgb32(), c).samples)
              << w << "x" << h << " rad " << rad;
      }
    }
  }
}

TEST(ProcessFrame, EmptyViewsWriteNothing) {
  for (const VideoFormat& format : FiveLayouts()) {
    FormatFrame src(format, 0, 0, 8, 0);
    FormatFrame dst(format, 0, 0, 8, kFiller);
    CopyLog log;
    Filter(MakeArguments({"all", true, true, true, false}), dst, src, log);
    for (const auto& plane : dst.planes)
      for (uint8_t b : plane) EXPECT_EQ(b, kFiller);
  }
}

TEST(FilterPlan, ScratchSizeRuleAndModes) {
  // The largest channel the Gaussian smooths; subsampled sizes round up, so that a host that
  // rounds either way fits.
  struct Case {
    VideoFormat format;
    int32_t w, h;
    bool ry;
    size_t entries;
  };
  for (const Case& c :
       {Case{Rgb32(), 640, 480, false, 307200}, Case{Rgb32(), 640, 480, true, 307200},
        Case{Yuy2(), 720, 480, false, 172800}, Case{Yuy2(), 720, 480, true, 345600},
        Case{Yv12(), 720, 576, false, 103680}, Case{Yv12(), 720, 576, true, 414720}, Case{Yv12(), 7, 5, false, 12}}) {
    FilterPlan plan;
    ASSERT_EQ(plan.Init(Arguments({{kRy, c.ry}}), c.format, c.w, c.h), PlanStatus::kOk);
    EXPECT_EQ(plan.ScratchPlaneEntries(), c.entries);
  }
  FilterPlan box;
  ASSERT_EQ(box.Init(Arguments({{kForce, 1}, {kRad, 8}}), Yv12(), 64, 64), PlanStatus::kOk);
  EXPECT_EQ(box.ScratchPlaneEntries(), 0u);
}

}  // namespace
}  // namespace sorvan::testing
