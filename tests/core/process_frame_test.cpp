// Whole frames of the five classic types through a filter plan, checked channel by channel
// against the direct formulations, with padded rows and different source and destination pitches.
#include "core/filter_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "support/direct_average.h"
#include "support/expected_channel.h"
#include "support/test_frame.h"

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

void Filter(const FilterArguments& arguments, TestFrame& dst, TestFrame& src, CopyLog& log) {
  VideoFormat format{};
  ASSERT_TRUE(ClassicFormat(src.type, &format));
  FilterPlan plan;
  ASSERT_EQ(plan.Init(arguments, format, src.width, src.height), PlanStatus::kOk);
  ASSERT_TRUE(plan.Process(dst.View(), src.SourceView(), CopyPlane{&RecordingCopy, &log}));
}

const int32_t kPixelTypes[] = {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420};

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

class FrameTypes : public ::testing::TestWithParam<std::tuple<int32_t, Switches>> {};

TEST_P(FrameTypes, EveryChannelMatchesAndPaddingSurvives) {
  const auto [type, sw] = GetParam();
  std::mt19937 rng(type ^ sw.rad);
  for (const auto& [w, h] : {std::pair{40, 36}, std::pair{34, 22}, std::pair{8, 6}}) {
    TestFrame src(type, w, h, 13, 5, 0x11);
    TestFrame dst(type, w, h, 7, 3, kFiller);
    src.Randomize(rng);
    const FilterArguments arguments = MakeArguments(sw);
    CopyLog log;
    Filter(arguments, dst, src, log);

    for (const ChannelPlace& c : ChannelPlaces(type, w, h)) {
      EXPECT_EQ(dst.Channel(c).samples, ExpectedChannel(arguments, src.Channel(c), c.channel).samples)
          << sw.name << " " << w << "x" << h << " channel " << c.channel;
    }
    for (uint8_t b : dst.Padding()) ASSERT_EQ(b, kFiller) << "padding written, " << sw.name;
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, FrameTypes,
                         ::testing::Combine(::testing::ValuesIn(kPixelTypes), ::testing::ValuesIn(kSwitches)),
                         [](const auto& info) {
                           return "type" + std::to_string(std::get<0>(info.param) & 0xFF) + "_" +
                                  std::get<1>(info.param).name;
                         });

TEST(ProcessFrame, UnselectedPlanarChromaGoesThroughCopyPlaneWithTheSourceSize) {
  for (int32_t type : {CS_YV12, CS_I420}) {
    std::mt19937 rng(3);
    TestFrame src(type, 30, 18, 2, 6, 0);
    TestFrame dst(type, 30, 18, 10, 1, kFiller);
    src.Randomize(rng);
    CopyLog log;
    log.performCopy = false;  // so a copy made any other way would show
    Filter(MakeArguments({"ry", true, false, false, false}), dst, src, log);
    // In memory order: YV12 has V (plane 2 here) first, I420 U.
    const int first = type == CS_YV12 ? 2 : 1;
    const int second = 3 - first;
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0].dst, dst.planes[first].data());
    EXPECT_EQ(log.calls[0].src, src.planes[first].data());
    EXPECT_EQ(log.calls[1].dst, dst.planes[second].data());
    EXPECT_EQ(log.calls[1].src, src.planes[second].data());
    for (const auto& call : log.calls) {
      EXPECT_EQ(call.dstPitch, dst.chromaPitch);
      EXPECT_EQ(call.srcPitch, src.chromaPitch);
      EXPECT_EQ(call.rowSize, 15);
      EXPECT_EQ(call.height, 9);
    }
    for (uint8_t b : dst.planes[1]) ASSERT_EQ(b, kFiller);
  }
}

TEST(ProcessFrame, ChromaPitchZeroMeansNoChroma) {
  std::mt19937 rng(4);
  TestFrame src(CS_YV12, 24, 24, 0, 0, 0);
  TestFrame dst(CS_YV12, 24, 24, 0, 0, kFiller);
  src.Randomize(rng);
  src.chromaPitch = 0;
  dst.chromaPitch = 0;
  SourceFrameView s = src.SourceView();
  FrameView d = dst.View();
  for (int plane = 1; plane < 3; ++plane) {
    s.planes[plane].data = nullptr;  // any access would fault
    d.planes[plane].data = reinterpret_cast<uint8_t*>(16);
  }
  VideoFormat format{};
  ASSERT_TRUE(ClassicFormat(CS_YV12, &format));
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
        TestFrame src(CS_BGR32, w, h, 4, 0, 0);
        TestFrame dst(CS_BGR32, w, h, 0, 0, kFiller);
        src.Randomize(rng);
        CopyLog log;
        Filter(MakeArguments({"all", true, true, true, force, rad}), dst, src, log);
        for (const ChannelPlace& c : ChannelPlaces(CS_BGR32, w, h))
          EXPECT_EQ(dst.Channel(c).samples, src.Channel(c).samples) << w << "x" << h << " rad " << rad;
      }
    }
  }
}

TEST(ProcessFrame, EmptyViewsWriteNothing) {
  for (int32_t type : kPixelTypes) {
    TestFrame src(type, 0, 0, 8, 8, 0);
    TestFrame dst(type, 0, 0, 8, 8, kFiller);
    CopyLog log;
    Filter(MakeArguments({"all", true, true, true, false}), dst, src, log);
    for (int plane = 0; plane < 3; ++plane)
      for (uint8_t b : dst.planes[plane]) EXPECT_EQ(b, kFiller);
  }
}

TEST(FilterPlan, ScratchSizeRuleAndModes) {
  // The largest channel the Gaussian smooths; subsampled sizes round up, so that a host that
  // rounds either way fits.
  struct Case {
    int32_t type, w, h;
    bool ry;
    size_t entries;
  };
  for (const Case& c : {Case{CS_BGR32, 640, 480, false, 307200}, Case{CS_BGR32, 640, 480, true, 307200},
                        Case{CS_YUY2, 720, 480, false, 172800}, Case{CS_YUY2, 720, 480, true, 345600},
                        Case{CS_YV12, 720, 576, false, 103680}, Case{CS_YV12, 720, 576, true, 414720},
                        Case{CS_YV12, 7, 5, false, 12}}) {
    VideoFormat format{};
    ASSERT_TRUE(ClassicFormat(c.type, &format));
    FilterPlan plan;
    ASSERT_EQ(plan.Init(Arguments({{kRy, c.ry}}), format, c.w, c.h), PlanStatus::kOk);
    EXPECT_EQ(plan.ScratchPlaneEntries(), c.entries);
  }
  VideoFormat format{};
  ASSERT_TRUE(ClassicFormat(CS_YV12, &format));
  FilterPlan box;
  ASSERT_EQ(box.Init(Arguments({{kForce, 1}, {kRad, 8}}), format, 64, 64), PlanStatus::kOk);
  EXPECT_EQ(box.ScratchPlaneEntries(), 0u);
}

}  // namespace
}  // namespace sorvan::testing
