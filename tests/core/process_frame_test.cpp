// Whole frames of every pixel type through ProcessFrame, checked channel by channel against
// the direct formulations, with padded rows and different source and destination pitches.
#include "core/process_frame.h"

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

FilterSettings MakeSettings(const Switches& s, int32_t type, int32_t w, int32_t h) {
  FilterSettings settings;
  settings.ry = s.ry;
  settings.gu = s.gu;
  settings.bv = s.bv;
  settings.force = s.force;
  settings.rad = s.rad;
  settings.str = s.str;
  settings.pry = 2;
  settings.nry = 5;
  EXPECT_TRUE(PrepareFilterTables(settings, type, w, h));
  return settings;
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

void RecordingCopy(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch,
                   int32_t rowSize, int32_t height) {
  auto* log = static_cast<CopyLog*>(context);
  log->calls.push_back({dst, dstPitch, src, srcPitch, rowSize, height});
  if (log->performCopy) CopyPlaneRows(nullptr, dst, dstPitch, src, srcPitch, rowSize, height);
}

void Filter(FilterSettings& settings, TestFrame& dst, TestFrame& src, CopyLog& log) {
  ProcessFrame({src.width, src.height, src.type}, settings, dst.Planes(), src.SourcePlanes(),
               CopyPlane{&RecordingCopy, &log});
}

const int32_t kPixelTypes[] = {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420};

const Switches kSwitches[] = {
    {"defaults", false, true, true, false},
    {"ry_only", true, false, false, false},
    {"gu_only", false, true, false, false},
    {"bv_only", false, false, true, false},
    {"all", true, true, true, false},
    {"none", false, false, false, false},
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
    FilterSettings settings = MakeSettings(sw, type, w, h);
    CopyLog log;
    Filter(settings, dst, src, log);

    for (const ChannelPlace& c : ChannelPlaces(type, w, h)) {
      EXPECT_EQ(dst.Channel(c).samples, ExpectedChannel(settings, src.Channel(c), c.channel).samples)
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
    FilterSettings settings = MakeSettings({"ry", true, false, false, false}, type, 30, 18);
    CopyLog log;
    log.performCopy = false;  // so a copy made any other way would show
    Filter(settings, dst, src, log);
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0].dst, dst.planes[1].data());
    EXPECT_EQ(log.calls[0].src, src.planes[1].data());
    EXPECT_EQ(log.calls[1].dst, dst.planes[2].data());
    EXPECT_EQ(log.calls[1].src, src.planes[2].data());
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
  SourceFramePlanes s = src.SourcePlanes();
  FramePlanes d = dst.Planes();
  s.chromaPitch = 0;
  s.u = s.v = nullptr;  // any access would fault
  d.u = d.v = nullptr;
  for (const Switches& sw : {Switches{"defaults", false, true, true, false}, Switches{"ry", true, false, false, true}}) {
    FilterSettings settings = MakeSettings(sw, CS_YV12, 24, 24);
    CopyLog log;
    ProcessFrame({24, 24, CS_YV12}, settings, d, s, CopyPlane{&RecordingCopy, &log});
    for (const auto& call : log.calls) {
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
        FilterSettings settings = MakeSettings({"all", true, true, true, force, rad}, CS_BGR32, w, h);
        CopyLog log;
        Filter(settings, dst, src, log);
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
    FilterSettings settings = MakeSettings({"all", true, true, true, false}, type, 0, 0);
    CopyLog log;
    Filter(settings, dst, src, log);
    for (int plane = 0; plane < 3; ++plane)
      for (uint8_t b : dst.planes[plane]) EXPECT_EQ(b, kFiller);
  }
}

TEST(FilterTables, ScratchSizeRuleAndModes) {
  struct Case {
    int32_t type, w, h;
    bool ry;
    size_t entries;
  };
  for (const Case& c : {Case{CS_BGR32, 640, 480, false, 307200}, Case{CS_BGR32, 640, 480, true, 307200},
                        Case{CS_YUY2, 720, 480, false, 172800}, Case{CS_YUY2, 720, 480, true, 345600},
                        Case{CS_YV12, 720, 576, false, 103680}, Case{CS_YV12, 720, 576, true, 414720},
                        Case{CS_YV12, 7, 5, false, 6}}) {
    EXPECT_EQ(ScratchPlaneEntries(c.type, c.w, c.h, c.ry), c.entries);
  }
  FilterSettings box;
  box.force = true;
  box.rad = 8;
  ASSERT_TRUE(PrepareFilterTables(box, CS_YV12, 64, 64));
  EXPECT_EQ(box.boxOffsets.size(), 289u);
  EXPECT_TRUE(box.scratch.empty());
  EXPECT_TRUE(box.weights.taps.empty());
}

}  // namespace
}  // namespace sorvan::testing
