// The built libsorvan.so entered through its C interface by our minimal AviSynth+, as AviSynth+
// enters it: registration, the checks and their messages, every pixel type against the core,
// the multithreading answer and concurrent requests, frame properties and reference balance.
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "core/dispatch.h"
#include "core/version.h"
#include "tests/plugin/avisynth_c/avs_c_harness.h"

namespace sorvan::avs_c_test {
namespace {

constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 24;

using PluginEntry = AvsCTest;

TEST_F(PluginEntry, RegistersSorvanWithTheParametersOfThe25Binding) {
  Loaded host;
  ASSERT_TRUE(host.load.loaded) << host.load.error;
  EXPECT_EQ(host.load.entry, "avisynth_c_plugin_init2");
  EXPECT_EQ(host.load.text, "Sorvan " SORVAN_VERSION_STRING);
  EXPECT_EQ(host.env.Parameters("Sorvan"), "c[rad]i[str]i[ry]b[gu]b[bv]b[force]b[pry]i[pgu]i[pbv]i[nry]i[ngu]i[nbv]i");
}

// The entry keeps nothing between calls: environments one after another and side by side.
TEST_F(PluginEntry, ServesSeveralEnvironmentsInOneProcess) {
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(0xA0000008, kWidth, kHeight, 1);
  const std::vector<uint8_t> input = TestFrame(vi, AllPixelFormats()[1].format, 3);
  std::vector<uint8_t> first;
  {
    Loaded a;
    Loaded b;
    for (Loaded* host : {&a, &b}) {
      const Clip source = avs_c_host::MakeMemoryClip(vi, {input});
      CallResult r = host->env.Invoke("Sorvan", {Argument(source)});
      ASSERT_TRUE(r.clip) << r.error;
      const std::vector<uint8_t> out = r.clip.GetFrame(0).Bytes(avs_c_host::FramePlanes(vi));
      if (first.empty()) first = out;
      EXPECT_EQ(out, first);
    }
  }
  Loaded again;
  EXPECT_TRUE(again.env.FunctionExists("Sorvan"));
}

class EveryFormat : public AvsCTest, public ::testing::WithParamInterface<PixelFormatCase> {};

// Defaults and two other settings on three frames, byte for byte against the core; the
// defaults must change something, or the comparison proves nothing.
TEST_P(EveryFormat, EqualsTheCore) {
  const PixelFormatCase& c = GetParam();
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(static_cast<int32_t>(c.pixelType), kWidth, kHeight, 3);
  const auto planes = avs_c_host::FramePlanes(vi);
  ASSERT_FALSE(planes.empty());
  std::vector<std::vector<uint8_t>> frames;
  for (unsigned n = 0; n < 3; ++n) frames.push_back(TestFrame(vi, c.format, 17 + n));
  // A gray clip has channel 0 alone, so its "defaults" switch it on.
  const bool gray = c.format.family == ColourFamily::kGray;
  const std::vector<std::vector<NamedArgument>> settings = {
      gray ? std::vector<NamedArgument>{{"ry", true}} : std::vector<NamedArgument>{},
      {{"ry", true}, {"force", true}, {"rad", 3}, {"pry", 10}, {"nry", 10}},
      {{"ry", true}, {"rad", 2}, {"str", 8}, {"pgu", 0}, {"ngu", 7}, {"pbv", 9}}};
  Loaded host;
  const Clip source = avs_c_host::MakeMemoryClip(vi, frames);
  for (const auto& named : settings) {
    CallResult r = host.env.Invoke("Sorvan", {Argument(source)}, named);
    ASSERT_TRUE(r.clip) << r.error;
    for (int32_t n = 0; n < 3; ++n) {
      const std::vector<uint8_t> expected = CoreReference(vi, c.format, ArgumentsOf(named), frames[n]);
      ASSERT_FALSE(expected.empty());
      const std::vector<uint8_t> actual = r.clip.GetFrame(n).Bytes(planes);
      ASSERT_EQ(actual, expected) << "frame " << n << ", setting " << (&named - settings.data());
      if (&named == &settings[1]) {
        EXPECT_NE(actual, frames[n]) << "the filter changed nothing";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AviSynthPlus, EveryFormat, ::testing::ValuesIn(AllPixelFormats()),
                         [](const auto& info) { return info.param.name; });

struct RefusedCase {
  const char* label;
  uint32_t pixelType;
  std::vector<NamedArgument> named;
  const char* message;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.label; }

class Refusals : public AvsCTest, public ::testing::WithParamInterface<RefusedCase> {};

// Each check alone and in their order: only the first failure is reported, exactly.
TEST_P(Refusals, ReportTheFirstFailingCheck) {
  const RefusedCase& c = GetParam();
  Loaded host;
  const Clip source =
      avs_c_host::MakeMemoryClip(avs_c_host::MakeVideoInfo(static_cast<int32_t>(c.pixelType), kWidth, kHeight, 0), {});
  const CallResult r = host.env.Invoke("Sorvan", {Argument(source)}, c.named);
  EXPECT_FALSE(r.clip);
  EXPECT_EQ(r.error, c.message);
}

constexpr uint32_t kYv12 = 0xA0000008u;
constexpr uint32_t kY16 = 0xE0010000u;
const char* const kUnsupportedRaw32 = "Sorvan: RAW32 is not supported: use 8 to 16-bit integer or 32-bit float samples";

INSTANTIATE_TEST_SUITE_P(
    Checks, Refusals,
    ::testing::Values(
        RefusedCase{"rad0", kYv12, {{"rad", 0}}, "Sorvan:rad must be between 1 and 8"},
        RefusedCase{"rad9", kYv12, {{"rad", 9}}, "Sorvan:rad must be between 1 and 8"},
        RefusedCase{"str0", kYv12, {{"str", 0}}, "Sorvan:str must be between 1 and 8"},
        RefusedCase{"str9", kYv12, {{"str", 9}}, "Sorvan:str must be between 1 and 8"},
        RefusedCase{
            "no_channel", kYv12, {{"gu", false}, {"bv", false}}, "Sorvan: At least one of ry, gu and bv must be true"},
        RefusedCase{"pry11", kYv12, {{"ry", true}, {"pry", 11}}, "Sorvan: limit pry must be between 0 and 10"},
        RefusedCase{"nry_negative", kYv12, {{"ry", true}, {"nry", -1}}, "Sorvan: limit nry must be between 0 and 10"},
        RefusedCase{"ry_both_zero",
                    kYv12,
                    {{"ry", true}, {"pry", 0}, {"nry", 0}},
                    "Sorvan: both limits pry and nry are specified as zero"},
        RefusedCase{"pgu11", kYv12, {{"pgu", 11}}, "Sorvan: limit pgu must be between 0 and 10"},
        RefusedCase{"ngu11", kYv12, {{"ngu", 11}}, "Sorvan: limit ngu must be between 0 and 10"},
        RefusedCase{
            "gu_both_zero", kYv12, {{"pgu", 0}, {"ngu", 0}}, "Sorvan: both limits pgu and ngu are specified as zero"},
        RefusedCase{"pbv_negative", kYv12, {{"pbv", -5}}, "Sorvan: limit pbv must be between 0 and 10"},
        RefusedCase{"nbv11", kYv12, {{"nbv", 11}}, "Sorvan: limit nbv must be between 0 and 10"},
        RefusedCase{
            "bv_both_zero", kYv12, {{"pbv", 0}, {"nbv", 0}}, "Sorvan: both limits pbv and nbv are specified as zero"},
        RefusedCase{"rad_before_str", kYv12, {{"str", 0}, {"rad", 0}}, "Sorvan:rad must be between 1 and 8"},
        RefusedCase{"str_before_channels",
                    kYv12,
                    {{"str", 9}, {"gu", false}, {"bv", false}},
                    "Sorvan:str must be between 1 and 8"},
        RefusedCase{"channel_0_before_1",
                    kYv12,
                    {{"ry", true}, {"nry", 11}, {"pgu", 11}},
                    "Sorvan: limit nry must be between 0 and 10"},
        RefusedCase{"positive_before_negative",
                    kYv12,
                    {{"pbv", 11}, {"nbv", 11}},
                    "Sorvan: limit pbv must be between 0 and 10"},
        RefusedCase{
            "gray_without_ry", kY16, {}, "Sorvan: a clip without colour planes has only channel 0: set ry=true"},
        RefusedCase{"gray_rule_after_limits", kY16, {{"pgu", 11}}, "Sorvan: limit pgu must be between 0 and 10"},
        RefusedCase{"gray_checks_switched_on_limits",
                    kY16,
                    {{"ry", true}, {"pbv", 0}, {"nbv", 0}},
                    "Sorvan: both limits pbv and nbv are specified as zero"},
        RefusedCase{"raw32", 0x40000020u, {}, kUnsupportedRaw32},
        RefusedCase{"format_before_arguments", 0x40000020u, {{"rad", 0}}, kUnsupportedRaw32},
        RefusedCase{"unknown_depth",
                    0xA0030008u,
                    {},
                    "Sorvan: pixel type 0xA0030008 is not supported: use 8 to 16-bit integer or 32-bit float samples"},
        RefusedCase{"no_video",
                    0u,
                    {},
                    "Sorvan: pixel type 0x00000000 is not supported: use 8 to 16-bit integer or 32-bit float samples"}),
    [](const auto& info) { return std::string(info.param.label); });

using Arguments = AvsCTest;

// A clip without video is refused as such, ahead of its pixel type and the arguments.
TEST_F(Arguments, AClipWithoutVideoIsRefusedFirst) {
  Loaded host;
  for (const uint32_t type : {kYv12, 0x40000020u}) {
    const Clip source =
        avs_c_host::MakeMemoryClip(avs_c_host::MakeVideoInfo(static_cast<int32_t>(type), 0, kHeight, 0), {});
    EXPECT_EQ(host.env.Invoke("Sorvan", {Argument(source)}, {{"rad", 0}}).error, "Sorvan: the clip has no video");
  }
}

// A SORVAN_MAX_ISA naming no level of the build refuses every call, ahead of the arguments, with
// the value and the build's levels; a level's name in any case is taken.
TEST_F(Arguments, AnUnknownInstructionSetCapIsRefusedByName) {
  std::string levels;
  InstructionSet all[kMaxInstructionSets];
  for (int32_t i = 0; i < ListInstructionSets(all, kMaxInstructionSets); ++i)
    levels += (i > 0 ? ", " : "") + std::string(InstructionSetName(all[i]));
  Loaded host;
  const Clip source =
      avs_c_host::MakeMemoryClip(avs_c_host::MakeVideoInfo(static_cast<int32_t>(kYv12), kWidth, kHeight, 0), {});
  setenv("SORVAN_MAX_ISA", "avx9", 1);
  const std::string refused = SorvanError(host.env, source, {{"rad", 0}});
  setenv("SORVAN_MAX_ISA", "SCALAR", 1);
  const std::string taken = SorvanError(host.env, source, {});
  unsetenv("SORVAN_MAX_ISA");
  EXPECT_EQ(refused, "Sorvan: SORVAN_MAX_ISA=\"avx9\" names no instruction set of this build (" + levels + ")");
  EXPECT_EQ(taken, "");
}

// On a gray clip with ry on, gu and bv are ignored: the result is the plain channel-0 filter.
TEST_F(Arguments, GrayClipWithRyIgnoresTheColourSwitches) {
  Loaded host;
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(0xE0000000, kWidth, kHeight, 1);
  const VideoFormat gray = PlanarFormat(Fields(ColourFamily::kGray, 8, 0, 0, false, kPlanesYuv));
  const std::vector<uint8_t> input = TestFrame(vi, gray, 5);
  const Clip source = avs_c_host::MakeMemoryClip(vi, {input});
  CallResult withColour = host.env.Invoke("Sorvan", {Argument(source)}, {{"ry", true}, {"gu", true}, {"bv", true}});
  CallResult without = host.env.Invoke("Sorvan", {Argument(source)}, {{"ry", true}, {"gu", false}, {"bv", false}});
  ASSERT_TRUE(withColour.clip && without.clip) << withColour.error << without.error;
  const auto planes = avs_c_host::FramePlanes(vi);
  EXPECT_EQ(withColour.clip.GetFrame(0).Bytes(planes), without.clip.GetFrame(0).Bytes(planes));
  EXPECT_NE(without.clip.GetFrame(0).Bytes(planes), input);
}

// Positions follow the parameter string; 64-bit integers (init2 hosts) are read as integers, a
// huge one refused by the range check rather than wrapped into range.
TEST_F(Arguments, PositionsAndSixtyFourBitIntegers) {
  Loaded host;
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(kYv12, kWidth, kHeight, 1);
  const Clip source = avs_c_host::MakeMemoryClip(vi, {TestFrame(vi, AllPixelFormats()[1].format, 9)});
  const auto planes = avs_c_host::FramePlanes(vi);
  CallResult byPosition = host.env.Invoke("Sorvan", {Argument(source), Argument(2), Argument(1), Argument(true)});
  CallResult byName =
      host.env.Invoke("Sorvan", {Argument(source)}, {{"ry", true}, {"str", int64_t{1}}, {"rad", int64_t{2}}});
  ASSERT_TRUE(byPosition.clip && byName.clip) << byPosition.error << byName.error;
  EXPECT_EQ(byPosition.clip.GetFrame(0).Bytes(planes), byName.clip.GetFrame(0).Bytes(planes));
  // 2^32 + 3 would be 3 if cut to 32 bits.
  EXPECT_EQ(SorvanError(host.env, source, {{"rad", int64_t{4294967299}}}), "Sorvan:rad must be between 1 and 8");
  EXPECT_EQ(SorvanError(host.env, source, {{"pgu", int64_t{-4294967295}}}),
            "Sorvan: limit pgu must be between 0 and 10");
}

// Arrays no script can produce still get a message, not a crash: wrong types, wrong length.
TEST_F(Arguments, MalformedArraysAreRefused) {
  Loaded host;
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(kYv12, kWidth, kHeight, 1);
  const Clip source = avs_c_host::MakeMemoryClip(vi, {TestFrame(vi, AllPixelFormats()[1].format, 9)});
  AVS_Value elements[13];
  for (AVS_Value& e : elements) e = AVS_Value{'v', 0, {}};
  AVS_Value args{'a', 13, {}};
  args.d.array = elements;
  EXPECT_EQ(host.env.CallRaw("Sorvan", args).error, "Sorvan: the first argument must be a clip");
  avs_set_to_clip(&elements[0], source.get());
  elements[3] = AVS_Value{'i', 0, {}};
  EXPECT_EQ(host.env.CallRaw("Sorvan", args).error, "Sorvan: ry must be 0 or 1 (false or true)");
  elements[3] = AVS_Value{'v', 0, {}};
  elements[1] = AVS_Value{'s', 0, {}};
  elements[1].d.string = "5";
  EXPECT_EQ(host.env.CallRaw("Sorvan", args).error, "Sorvan:rad must be between 1 and 8");
  args.array_size = 12;
  EXPECT_EQ(host.env.CallRaw("Sorvan", args).error, "Sorvan: the first argument must be a clip");
  avs_release_value(elements[0]);
}

using Threads = AvsCTest;

TEST_F(Threads, AnswersTheNiceFilterMode) {
  Loaded host;
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(kYv12, kWidth, kHeight, 1);
  const Clip source = avs_c_host::MakeMemoryClip(vi, {TestFrame(vi, AllPixelFormats()[1].format, 1)});
  CallResult r = host.env.Invoke("Sorvan", {Argument(source)});
  ASSERT_TRUE(r.clip) << r.error;
  EXPECT_EQ(r.clip.MtMode(), 1);
}

// One instance, eight threads each asking for every frame in its own order, as a frame-parallel
// host does: every output equals the serial one.
TEST_F(Threads, ConcurrentRequestsOnOneInstanceEqualSerial) {
  constexpr int32_t kFrames = 12;
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(0xA001000Bu, 160, 96, kFrames);  // YUV444P16
  const VideoFormat format = PlanarFormat(Fields(ColourFamily::kYuv, 16, 0, 0, false, kPlanesYvu));
  std::vector<std::vector<uint8_t>> frames;
  for (int32_t n = 0; n < kFrames; ++n) frames.push_back(TestFrame(vi, format, 100 + static_cast<unsigned>(n)));
  const auto planes = avs_c_host::FramePlanes(vi);
  Loaded host;
  const Clip source = avs_c_host::MakeMemoryClip(vi, frames);
  CallResult r = host.env.Invoke("Sorvan", {Argument(source)}, {{"ry", true}});
  ASSERT_TRUE(r.clip) << r.error;
  std::vector<std::vector<uint8_t>> serial;
  for (int32_t n = 0; n < kFrames; ++n) serial.push_back(r.clip.GetFrame(n).Bytes(planes));
  std::vector<std::thread> threads;
  std::vector<int> mismatches(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int32_t i = 0; i < kFrames; ++i) {
        const int32_t n = (i * 5 + t * 7) % kFrames;
        if (r.clip.GetFrame(n).Bytes(planes) != serial[static_cast<size_t>(n)]) ++mismatches[static_cast<size_t>(t)];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(mismatches[static_cast<size_t>(t)], 0) << "thread " << t;
}

using Frames = AvsCTest;

TEST_F(Frames, OutputCarriesTheSourceFramesProperties) {
  Loaded host;
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(0x90020002u, kWidth, kHeight, 3);  // RGBAPS
  const VideoFormat format = PlanarFormat(Fields(ColourFamily::kRgb, 32, 0, 0, true, kPlanesGbr));
  std::vector<std::vector<uint8_t>> frames;
  for (unsigned n = 0; n < 3; ++n) frames.push_back(TestFrame(vi, format, n));
  const Clip source = avs_c_host::MakeMemoryClip(vi, frames);
  CallResult r = host.env.Invoke("Sorvan", {Argument(source)});
  ASSERT_TRUE(r.clip) << r.error;
  for (int32_t n : {2, 0, 1}) {
    const Frame frame = r.clip.GetFrame(n);
    int64_t index = -1;
    int64_t tag = -1;
    ASSERT_TRUE(frame.Property("test_frame", &index) && frame.Property("test_tag", &tag));
    EXPECT_EQ(index, n);
    EXPECT_EQ(tag, 1000 + n);
  }
}

// A failing source request comes back through the host as the source's own message.
TEST_F(Frames, SourceFailureIsReportedThroughTheHost) {
  Loaded host;
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(kYv12, kWidth, kHeight, 1);
  const Clip source = avs_c_host::MakeMemoryClip(vi, {TestFrame(vi, AllPixelFormats()[1].format, 1)});
  CallResult r = host.env.Invoke("Sorvan", {Argument(source)});
  ASSERT_TRUE(r.clip) << r.error;
  std::string error;
  EXPECT_FALSE(r.clip.GetFrame(7, &error));
  EXPECT_EQ(error, "MemoryClip: no frame 7");
  EXPECT_TRUE(r.clip.GetFrame(0)) << "a failed request leaves the filter working";
}

}  // namespace
}  // namespace sorvan::avs_c_test
