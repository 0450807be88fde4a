// The built libsorvan.so, loaded and called through the frame server exactly as a script does.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "tests/plugin/classic/plugin_harness.h"

namespace sorvan::plugin_test {
namespace {

using frameserver::MakeVideoInfo;
using frameserver::MemoryClip;
using frameserver::ReadPacked;

constexpr int kWidth = 48;
constexpr int kHeight = 36;

TEST(PluginEntry, RegistersSorvanAndReturnsItsText) {
  PluginHost host;
  EXPECT_EQ(host.PluginText(), "Sorvan  Plugin");
  EXPECT_TRUE(host.server.FunctionExists("Sorvan"));
}

// Runs Sorvan with the named arguments on three frames and compares every byte with the core
// run directly with the same settings.
void ExpectSameAsCore(int pixelType, const std::vector<NamedArgument>& named) {
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(pixelType, kWidth, kHeight, 3);
  const auto frames = TestFrames(vi, 3, 11);
  const PClip filter = host.server.InvokeClip("Sorvan", {MemoryClip::FromFrames(vi, frames)}, named);
  for (int n = 0; n < 3; ++n) {
    FilterArguments settings = DefaultArguments();
    for (const NamedArgument& a : named) ApplyArgument(settings, a);
    const std::vector<uint8_t> expected = CoreReference(vi, frames[static_cast<size_t>(n)], settings);
    ASSERT_FALSE(expected.empty());
    const std::vector<uint8_t> actual = ReadPacked(filter->GetFrame(n, &host.server), vi);
    ASSERT_EQ(actual, expected) << "frame " << n;
    EXPECT_NE(actual, frames[static_cast<size_t>(n)]) << "the filter changed nothing";
  }
}

class DefaultEffect : public ::testing::TestWithParam<int> {};

// The clip alone gives the core's defaults: Gaussian rad 5, str 4 on channels 1 and 2.
TEST_P(DefaultEffect, EqualsTheCoreWithDefaults) { ExpectSameAsCore(GetParam(), {}); }

INSTANTIATE_TEST_SUITE_P(FiveTypes, DefaultEffect, ::testing::ValuesIn(kFiveTypes),
                         [](const auto& info) { return PixelTypeName(info.param); });

struct ArgumentSet {
  const char* label;
  std::vector<NamedArgument> named;
};

void PrintTo(const ArgumentSet& set, std::ostream* os) { *os << set.label; }

class ArgumentEffect : public ::testing::TestWithParam<std::tuple<int, ArgumentSet>> {};

// Every accepted combination reaches the core with exactly the values the script gave.
TEST_P(ArgumentEffect, EqualsTheCoreWithTheSameSettings) {
  ExpectSameAsCore(std::get<0>(GetParam()), std::get<1>(GetParam()).named);
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ArgumentEffect,
    ::testing::Combine(
        ::testing::ValuesIn(kFiveTypes),
        ::testing::Values(
            ArgumentSet{"rad1_str8", {{"rad", 1}, {"str", 8}}}, ArgumentSet{"rad8_str1", {{"rad", 8}, {"str", 1}}},
            ArgumentSet{"ry_only", {{"ry", true}, {"gu", false}, {"bv", false}, {"pry", 7}, {"nry", 2}}},
            ArgumentSet{"gu_only", {{"bv", false}, {"pgu", 6}, {"ngu", 9}}},
            ArgumentSet{"bv_only_one_zero_limit", {{"gu", false}, {"pbv", 0}, {"nbv", 10}}},
            ArgumentSet{"all_channels", {{"ry", true}, {"pry", 10}, {"nry", 0}, {"pgu", 0}, {"nbv", 0}}},
            ArgumentSet{"force_rad3", {{"force", true}, {"rad", 3}, {"ry", true}}},
            ArgumentSet{"force_rad8_str8", {{"force", true}, {"rad", 8}, {"str", 8}}},
            ArgumentSet{"off_channel_limits_unchecked", {{"pry", 20}, {"nry", -1}}},
            ArgumentSet{"off_chroma_limits_unchecked", {{"ry", true}, {"gu", false}, {"pgu", -3}, {"ngu", 11}}})),
    [](const auto& info) { return PixelTypeName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).label; });

TEST(Arguments, OptionalArgumentsAlsoTakePositions) {
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(CS_YV12, kWidth, kHeight, 1);
  const auto frames = TestFrames(vi, 1, 3);
  const PClip source = MemoryClip::FromFrames(vi, frames);
  // Sorvan(clip, 2, 1, true): rad, str and ry in parameter order.
  const PClip byPosition = host.server.InvokeClip("Sorvan", {source, 2, 1, true});
  const PClip byName = host.server.InvokeClip("Sorvan", {source}, {{"ry", true}, {"str", 1}, {"rad", 2}});
  EXPECT_EQ(ReadPacked(byPosition->GetFrame(0, &host.server), vi), ReadPacked(byName->GetFrame(0, &host.server), vi));
  EXPECT_EQ(host.SorvanError(source, {{"radius", 2}}), "Sorvan does not have a named argument \"radius\"");
  EXPECT_EQ(host.SorvanError(source, {{"ry", 1}}), "Sorvan: argument \"ry\" must be bool, not int");
}

struct RefusedCase {
  const char* label;
  std::vector<NamedArgument> named;
  const char* message;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.label; }

class RefusedArguments : public ::testing::TestWithParam<RefusedCase> {};

// Each check alone, and the orderings: only the first failure is reported, and a refused call
// leaves no reference to the child behind.
TEST_P(RefusedArguments, ReportTheFirstFailingCheck) {
  PluginHost host;
  const PClip source = MemoryClip::FromFrames(MakeVideoInfo(CS_YV12, kWidth, kHeight, 1),
                                              TestFrames(MakeVideoInfo(CS_YV12, kWidth, kHeight, 1), 1, 5));
  EXPECT_EQ(host.SorvanError(source, GetParam().named), GetParam().message);
  EXPECT_EQ(source->RefCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusedArguments,
    ::testing::Values(
        RefusedCase{"rad0", {{"rad", 0}}, "Sorvan:rad must be between 1 and 8"},
        RefusedCase{"rad9", {{"rad", 9}}, "Sorvan:rad must be between 1 and 8"},
        RefusedCase{"str0", {{"str", 0}}, "Sorvan:str must be between 1 and 8"},
        RefusedCase{"str9", {{"str", 9}}, "Sorvan:str must be between 1 and 8"},
        RefusedCase{"no_channel", {{"gu", false}, {"bv", false}}, "Sorvan: At least one of ry, gu and bv must be true"},
        RefusedCase{"no_channel_ry_false",
                    {{"ry", false}, {"gu", false}, {"bv", false}},
                    "Sorvan: At least one of ry, gu and bv must be true"},
        RefusedCase{"pry11", {{"ry", true}, {"pry", 11}}, "Sorvan: limit pry must be between 0 and 10"},
        RefusedCase{"pry_negative", {{"ry", true}, {"pry", -1}}, "Sorvan: limit pry must be between 0 and 10"},
        RefusedCase{"nry11", {{"ry", true}, {"nry", 11}}, "Sorvan: limit nry must be between 0 and 10"},
        RefusedCase{"nry_negative", {{"ry", true}, {"nry", -1}}, "Sorvan: limit nry must be between 0 and 10"},
        RefusedCase{"ry_both_zero",
                    {{"ry", true}, {"pry", 0}, {"nry", 0}},
                    "Sorvan: both limits pry and nry are specified as zero"},
        RefusedCase{"pgu11", {{"pgu", 11}}, "Sorvan: limit pgu must be between 0 and 10"},
        RefusedCase{"ngu_negative", {{"ngu", -1}}, "Sorvan: limit ngu must be between 0 and 10"},
        RefusedCase{"gu_both_zero", {{"pgu", 0}, {"ngu", 0}}, "Sorvan: both limits pgu and ngu are specified as zero"},
        RefusedCase{"pbv11", {{"pbv", 11}}, "Sorvan: limit pbv must be between 0 and 10"},
        RefusedCase{"nbv11", {{"nbv", 11}}, "Sorvan: limit nbv must be between 0 and 10"},
        RefusedCase{"bv_both_zero", {{"pbv", 0}, {"nbv", 0}}, "Sorvan: both limits pbv and nbv are specified as zero"},
        // Orderings.
        RefusedCase{
            "pry_and_nry_11", {{"ry", true}, {"pry", 11}, {"nry", 11}}, "Sorvan: limit pry must be between 0 and 10"},
        RefusedCase{"rad_before_str",
                    {{"rad", 0}, {"str", 0}, {"gu", false}, {"bv", false}},
                    "Sorvan:rad must be between 1 and 8"},
        RefusedCase{
            "str_before_channels", {{"str", 9}, {"gu", false}, {"bv", false}}, "Sorvan:str must be between 1 and 8"},
        RefusedCase{"channels_before_limits",
                    {{"gu", false}, {"bv", false}, {"pgu", 11}},
                    "Sorvan: At least one of ry, gu and bv must be true"},
        RefusedCase{"ry_limits_before_gu",
                    {{"ry", true}, {"nry", 11}, {"pgu", 11}},
                    "Sorvan: limit nry must be between 0 and 10"},
        RefusedCase{"gu_limits_before_bv",
                    {{"pgu", 0}, {"ngu", 0}, {"pbv", 11}},
                    "Sorvan: both limits pgu and ngu are specified as zero"},
        RefusedCase{"force_still_checks_str", {{"force", true}, {"str", 0}}, "Sorvan:str must be between 1 and 8"}),
    [](const auto& info) { return std::string(info.param.label); });

class ColourFormat : public ::testing::TestWithParam<unsigned> {};

// Codes that merely contain all bits of one of the five are refused, and the colour-format
// check comes before every other.
TEST_P(ColourFormat, OnlyTheFiveTypesAreAccepted) {
  PluginHost host;
  const PClip source = MemoryClip::FromGenerator(MakeVideoInfo(static_cast<int>(GetParam()), kWidth, kHeight, 1),
                                                 [](int, std::span<uint8_t>) {});
  const char* message = "Sorvan: This color format is not supported by this old avisynth version";
  EXPECT_EQ(host.SorvanError(source, {}), message);
  EXPECT_EQ(host.SorvanError(source, {{"rad", 0}}), message);
  EXPECT_EQ(source->RefCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Refused, ColourFormat,
                         ::testing::Values(0u, 0xA000000Bu, 0xA0000018u, 0xE0000008u, 0x50000003u, 0x70000004u,
                                           0x60000006u, 0x90000000u),
                         [](const auto& info) {
                           char name[16];
                           snprintf(name, sizeof name, "x%08X", info.param);
                           return std::string(name);
                         });

// A clip without video, of one of the five types or not, is refused as such before anything else.
TEST(ColourFormatAndSize, AClipWithoutVideoIsRefusedFirst) {
  PluginHost host;
  for (const int type : {static_cast<int>(CS_YV12), 0x50000003}) {
    const PClip source = MemoryClip::FromGenerator(MakeVideoInfo(type, 0, 0, 1), [](int, std::span<uint8_t>) {});
    EXPECT_EQ(host.SorvanError(source, {{"rad", 0}}), "Sorvan: the clip has no video");
  }
}

// A host that records the frames its source hands out, so a test can see them.
class RecordingClip final : public GenericVideoFilter {
 public:
  explicit RecordingClip(const PClip& child) : GenericVideoFilter(child) {}
  PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) override {
    PVideoFrame frame = child->GetFrame(n, env);
    handedOut.push_back(frame);
    return frame;
  }
  std::vector<PVideoFrame> handedOut;
};

TEST(ClipOperations, PassThroughWhatTheChildGives) {
  PluginHost host;
  VideoInfo vi = MakeVideoInfo(CS_YUY2, kWidth, kHeight, 7, 30);
  vi.fps_denominator = 1001;
  vi.audio_samples_per_second = 44100;
  vi.sample_type = 2;
  vi.num_audio_samples = 123456789012LL;
  vi.nchannels = 2;
  vi.image_type = 5;
  const PClip source = MemoryClip::FromGenerator(
      vi, [](int n, std::span<uint8_t> packed) { std::fill(packed.begin(), packed.end(), static_cast<uint8_t>(n)); },
      [](int n) { return n % 3 == 1; },
      [](void* buf, int64_t start, int64_t count) {
        auto* samples = static_cast<int16_t*>(buf);
        for (int64_t i = 0; i < 2 * count; ++i) samples[i] = static_cast<int16_t>(start * 7 + i);
      });
  const PClip filter = host.server.InvokeClip("Sorvan", {source}, {{"ry", true}});
  EXPECT_EQ(filter->GetVersion(), 3);
  EXPECT_EQ(filter->RefCount(), 1);
  EXPECT_EQ(source->RefCount(), 2);

  const auto expectSameVideoInfo = [&] {
    const VideoInfo& a = filter->GetVideoInfo();
    const VideoInfo& b = source->GetVideoInfo();
    EXPECT_NE(&a, &b);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.fps_numerator, b.fps_numerator);
    EXPECT_EQ(a.fps_denominator, b.fps_denominator);
    EXPECT_EQ(a.num_frames, b.num_frames);
    EXPECT_EQ(a.pixel_type, b.pixel_type);
    EXPECT_EQ(a.audio_samples_per_second, b.audio_samples_per_second);
    EXPECT_EQ(a.sample_type, b.sample_type);
    EXPECT_EQ(a.num_audio_samples, b.num_audio_samples);
    EXPECT_EQ(a.nchannels, b.nchannels);
    EXPECT_EQ(a.image_type, b.image_type);
  };
  expectSameVideoInfo();

  for (int n = 0; n < 7; ++n) EXPECT_EQ(filter->GetParity(n), source->GetParity(n)) << n;
  for (const auto& [start, count] : {std::pair<int64_t, int64_t>{0, 10}, {5000000000LL, 3}, {17, 1}}) {
    std::vector<int16_t> fromFilter(static_cast<size_t>(2 * count) + 1, -1), fromSource = fromFilter;
    filter->GetAudio(fromFilter.data(), start, count, &host.server);
    source->GetAudio(fromSource.data(), start, count, &host.server);
    EXPECT_EQ(fromFilter, fromSource);
    EXPECT_EQ(fromFilter.back(), -1);
  }

  const std::vector<uint8_t> before = ReadPacked(filter->GetFrame(3, &host.server), vi);
  filter->SetCacheHints(1, 100);
  filter->SetCacheHints(0, 0);
  expectSameVideoInfo();
  EXPECT_EQ(ReadPacked(filter->GetFrame(3, &host.server), vi), before);
}

// Each request yields a frame of its own: never the child's, also for the same number twice.
TEST(ClipOperations, EveryRequestGetsANewFrame) {
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(CS_I420, kWidth, kHeight, 4);
  RecordingClip* recorder = new RecordingClip(MemoryClip::FromFrames(vi, TestFrames(vi, 4, 9)));
  const PClip source = recorder;
  const PClip filter = host.server.InvokeClip("Sorvan", {source});
  const PVideoFrame first = filter->GetFrame(2, &host.server);
  const PVideoFrame second = filter->GetFrame(2, &host.server);
  ASSERT_EQ(recorder->handedOut.size(), 2u);
  EXPECT_NE(first.get(), second.get());
  EXPECT_NE(first->vfb, second->vfb);
  for (const PVideoFrame& child : recorder->handedOut) {
    EXPECT_NE(child->vfb, first->vfb);
    EXPECT_NE(child->vfb, second->vfb);
  }
  EXPECT_EQ(ReadPacked(first, vi), ReadPacked(second, vi));
  // The filter holds no frame itself: only the returned reference and the recorder's remain.
  EXPECT_EQ(first->refcount, 1);
  EXPECT_EQ(recorder->handedOut[0]->refcount, 1);
}

class RowPadding : public ::testing::TestWithParam<int> {};

// Bytes between a row's size and its pitch stay as the host handed them out.
TEST_P(RowPadding, IsNeverWritten) {
  PluginHost host;
  host.server.SetRowPadding(24);
  const VideoInfo vi = MakeVideoInfo(GetParam(), kWidth, kHeight, 1);
  const PClip filter = host.server.InvokeClip("Sorvan", {MemoryClip::FromFrames(vi, TestFrames(vi, 1, 2))},
                                              {{"ry", true}, {"gu", true}, {"bv", false}});
  host.server.SetFrameFill(0xA5);
  const PVideoFrame frame = filter->GetFrame(0, &host.server);
  for (const frameserver::PackedPlane& p : frameserver::PackedPlanes(vi)) {
    for (int y = 0; y < p.height; ++y) {
      const uint8_t* row = frame->GetReadPtr(p.plane) + y * frame->GetPitch(p.plane);
      for (int x = p.rowSize; x < frame->GetPitch(p.plane); ++x) ASSERT_EQ(row[x], 0xA5) << y << "," << x;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FiveTypes, RowPadding, ::testing::ValuesIn(kFiveTypes),
                         [](const auto& info) { return PixelTypeName(info.param); });

// Exhausted memory while the tables are built is an error through ThrowError, and nothing of
// the half-made filter stays behind (no reference to the child, no leak).
TEST(Resources, ExhaustedMemoryIsReportedAndLeavesNothing) {
  PluginHost host;
  const int huge = 0x7FFFFFFF;
  const PClip source =
      MemoryClip::FromGenerator(MakeVideoInfo(CS_BGR32, huge, huge, 1), [](int, std::span<uint8_t>) {});
  EXPECT_EQ(host.SorvanError(source, {}), "Sorvan: out of memory while allocating the filter's tables");
  EXPECT_EQ(source->RefCount(), 1);
  // The box average needs no scratch plane, so the same clip is accepted with force.
  EXPECT_EQ(host.SorvanError(source, {{"force", true}}), "(accepted)");
  EXPECT_EQ(source->RefCount(), 1);
}

// A clip that claims one format and hands out frames of another, so that the host's
// NewVideoFrame fails inside Sorvan's GetFrame while the source frame is held there.
class MismatchedClip final : public IClip {
 public:
  MismatchedClip(const VideoInfo& claimed, const VideoInfo& actual) : claimed_(claimed), actual_(actual) {}
  PVideoFrame SORVAN_STDCALL GetFrame(int, IScriptEnvironment* env) override { return env->NewVideoFrame(actual_); }
  bool SORVAN_STDCALL GetParity(int) override { return false; }
  void SORVAN_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
  void SORVAN_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& SORVAN_STDCALL GetVideoInfo() override { return claimed_; }

 private:
  VideoInfo claimed_, actual_;
};

// The host's error passes through the plug-in's GetFrame, which lets go of the source frame.
TEST(Resources, AnErrorDuringGetFrameReleasesTheSourceFrame) {
  PluginHost host;
  const PClip source = new MismatchedClip(MakeVideoInfo(CS_BGR32, 1 << 29, 1, 1), MakeVideoInfo(CS_BGR32, 64, 1, 1));
  const PClip filter = host.server.InvokeClip("Sorvan", {source}, {{"force", true}});
  EXPECT_THROW(filter->GetFrame(0, &host.server), frameserver::ScriptError);
  EXPECT_EQ(host.server.PoolStats().framesAllocated, 1u);
  EXPECT_EQ(host.server.PoolStats().framesInUse, 0u);
}

TEST(Resources, ManyFiltersCreatedAndDroppedLeaveNothing) {
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(CS_YV12, kWidth, kHeight, 2);
  const PClip source = MemoryClip::FromFrames(vi, TestFrames(vi, 2, 4));
  for (int i = 0; i < 200; ++i) {
    const PClip filter =
        host.server.InvokeClip("Sorvan", {source}, {{"rad", 1 + i % 8}, {"force", i % 3 == 0}, {"ry", i % 2 == 0}});
    if (i % 10 == 0) ReadPacked(filter->GetFrame(i % 2, &host.server), vi);
    EXPECT_EQ(host.SorvanError(source, {{"rad", 9 + i}}), "Sorvan:rad must be between 1 and 8");
  }
  EXPECT_EQ(source->RefCount(), 1);
  EXPECT_EQ(host.server.PoolStats().framesInUse, 0u);
}

// One filter object per thread, all made by one server, as the command-line tool runs them.
TEST(Threads, DistinctFiltersOnDistinctThreadsGiveTheSingleThreadedResult) {
  PluginHost host;
  const VideoInfo vi = MakeVideoInfo(CS_BGR24, kWidth, kHeight, 12);
  const PClip source = MemoryClip::FromFrames(vi, TestFrames(vi, 12, 21));
  std::vector<std::vector<uint8_t>> expected;
  {
    const PClip filter = host.server.InvokeClip("Sorvan", {source}, {{"ry", true}});
    for (int n = 0; n < 12; ++n) expected.push_back(ReadPacked(filter->GetFrame(n, &host.server), vi));
  }
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const PClip filter = host.server.InvokeClip("Sorvan", {source}, {{"ry", true}});
      for (int n = t; n < 12; n += 2)
        mismatches[static_cast<size_t>(t)] +=
            ReadPacked(filter->GetFrame(n, &host.server), vi) != expected[static_cast<size_t>(n)];
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
  EXPECT_EQ(source->RefCount(), 1);
}

}  // namespace
}  // namespace sorvan::plugin_test

namespace sorvan::plugin_test {
namespace {

// Hosts may ask one filter for several frames at once (a reentrant mode forced on any filter):
// each request takes its own scratch, so every frame is the one a lone request would give.
TEST(Concurrency, OverlappingRequestsOnOneFilterGiveTheSerialFrames) {
  PluginHost host;
  for (const int pixelType : kFiveTypes) {
    const VideoInfo vi = MakeVideoInfo(pixelType, 96, 64, 16);
    const auto frames = TestFrames(vi, 16, 3);
    const PClip filter =
        host.server.InvokeClip("Sorvan", {MemoryClip::FromFrames(vi, frames)}, {{"ry", true}, {"rad", 3}});
    std::vector<std::vector<uint8_t>> serial(16), parallel(16);
    for (int n = 0; n < 16; ++n) serial[n] = ReadPacked(filter->GetFrame(n, &host.server), vi);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int n = t; n < 16; n += 4) parallel[n] = ReadPacked(filter->GetFrame(15 - n, &host.server), vi);
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (int n = 0; n < 16; ++n) EXPECT_EQ(parallel[n], serial[15 - n]) << PixelTypeName(pixelType) << " " << n;
  }
}

}  // namespace
}  // namespace sorvan::plugin_test
