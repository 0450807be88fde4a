// Runs the built `sorvan` command on every format of its name table and compares its output
// with the core's filter plan run directly on the same frames; then its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cli/format_names.h"
#include "core/filter_plan.h"
#include "run_command.h"

namespace sorvan::cli {
namespace {

using testing::CommandResult;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// Odd, so that chroma rounds up, and large enough for rad 5 in 4:1:0 chroma; packed 4:2:2 needs
// an even width.
int32_t WidthFor(const VideoFormat& f) { return IsPacked(f) && f.family == ColourFamily::kYuv ? 46 : 45; }
constexpr int32_t kHeight = 41;
constexpr int kFrames = 3;

// Plane geometry from the core alone, independent of the command's own layout code.
struct TestPlane {
  size_t offset;
  int32_t rowBytes;
  int32_t width;
  int32_t height;
};
std::vector<TestPlane> PlanesOf(const VideoFormat& f, int32_t w, int32_t h) {
  std::vector<TestPlane> planes;
  size_t offset = 0;
  for (int32_t p = 0; p < f.planeCount; ++p) {
    const auto rowBytes = static_cast<int32_t>(PlaneRowBytes(f, p, w));
    planes.push_back({offset, rowBytes, PlaneWidth(f, p, w), PlaneHeight(f, p, h)});
    offset += static_cast<size_t>(rowBytes) * PlaneHeight(f, p, h);
  }
  return planes;
}

// A frame with gradients, an edge and noise of a few 8-bit levels in every sample, at the
// format's depth (floats in 0 to 1), different for each frame.
std::vector<uint8_t> MakeFrame(const VideoFormat& f, int32_t w, int32_t h, int frame) {
  std::mt19937 rng(1000 + frame);
  const size_t bytes = static_cast<size_t>(FrameBytes(f, w, h));
  std::vector<uint8_t> v(bytes);
  const size_t samples = bytes / BytesPerSample(f);
  for (size_t i = 0; i < samples; ++i) {
    const double level = static_cast<double>((i * 3 / 7 + frame * 11) % 160 + ((i / 97) % 2 ? 60 : 0) + 10) +
                         static_cast<int>(rng() % 9) - 4;
    if (f.sampleType == SampleType::kFloat) {
      const float x = static_cast<float>(level / 255.0);
      std::memcpy(v.data() + 4 * i, &x, 4);
    } else if (f.bitsPerSample > 8) {
      const auto x = static_cast<uint16_t>(level * (1 << (f.bitsPerSample - 8)) + rng() % (1 << (f.bitsPerSample - 8)));
      std::memcpy(v.data() + 2 * i, &x, 2);
    } else {
      v[i] = static_cast<uint8_t>(level);
    }
  }
  return v;
}

std::vector<uint8_t> ExpectedFrame(const FilterArguments& args, const VideoFormat& f, int32_t w, int32_t h,
                                   const std::vector<uint8_t>& in) {
  FilterPlan plan;
  EXPECT_EQ(plan.Init(args, f, w, h), PlanStatus::kOk);
  std::vector<uint8_t> out(in.size(), 0);
  FrameView dst{};
  SourceFrameView src{};
  const auto planes = PlanesOf(f, w, h);
  for (size_t p = 0; p < planes.size(); ++p) {
    dst.planes[p] = {out.data() + planes[p].offset, planes[p].rowBytes, planes[p].width, planes[p].height};
    src.planes[p] = {in.data() + planes[p].offset, planes[p].rowBytes, planes[p].width, planes[p].height};
  }
  EXPECT_TRUE(plan.Process(dst, src, kMemoryCopyPlane));
  return out;
}

struct Stream {
  std::string input;
  std::string expected;
};

Stream MakeStream(const FormatName& name, const FilterArguments& args, int frames) {
  const VideoFormat& f = name.format;
  const int32_t w = WidthFor(f);
  Stream s;
  if (name.kind == NameKind::kY4m) {
    s.input = "YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(kHeight) + " F30000:1001 It A1:1 C" +
              name.name + " XSOURCE=test\n";
    s.expected = s.input;
  }
  for (int i = 0; i < frames; ++i) {
    const auto frame = MakeFrame(f, w, kHeight, i);
    const auto out = ExpectedFrame(args, f, w, kHeight, frame);
    if (name.kind == NameKind::kY4m) {
      s.input += "FRAME\n";
      s.expected += "FRAME\n";
    }
    s.input.append(frame.begin(), frame.end());
    s.expected.append(out.begin(), out.end());
  }
  return s;
}

std::vector<std::string> FormatArgs(const FormatName& name) {
  if (name.kind == NameKind::kY4m) return {};
  return {"--format", name.name, "--size", std::to_string(WidthFor(name.format)) + "x" + std::to_string(kHeight)};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The arguments of one case, as options and as the core's values.
struct FilterCase {
  const char* name;
  std::vector<std::pair<Parameter, int32_t>> values;
};
const FilterCase kFilterCases[] = {
    {"defaults", {}},
    {"box_rad2_all", {{kRad, 2}, {kStr, 1}, {kRy, 1}, {kForce, 1}}},
    {"gauss_rad8_luma_v", {{kRad, 8}, {kStr, 8}, {kRy, 1}, {kGu, 0}, {kPry, 10}, {kNry, 0}, {kPbv, 0}, {kNbv, 2}}},
};

FilterArguments ArgumentsOf(const FilterCase& c, const VideoFormat& f) {
  FilterArguments a = DefaultArguments();
  for (const auto& [p, v] : c.values) a[p] = v;
  if (f.family == ColourFamily::kGray) a[kRy] = 1;  // gray has channel 0 only
  return a;
}

std::vector<std::string> OptionsOf(const FilterArguments& a) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < kParameterCount; ++i) {
    if (a.values[i] == kParameters[i].defaultValue) continue;
    out.push_back(std::string("--") + kParameters[i].name);
    out.push_back(kParameters[i].kind == ParameterKind::kBoolean ? (a.values[i] != 0 ? "true" : "false")
                                                                 : std::to_string(a.values[i]));
  }
  return out;
}

std::vector<const FormatName*> AllNames() {
  std::vector<const FormatName*> names;
  for (const FormatName& entry : FormatNames()) names.push_back(&entry);
  return names;
}

class CommandMatchesTheCore : public ::testing::TestWithParam<std::tuple<const FormatName*, int>> {};

TEST_P(CommandMatchesTheCore, ByteForByteWithOneAndThreeThreads) {
  const auto [name, caseIndex] = GetParam();
  const FilterArguments args = ArgumentsOf(kFilterCases[caseIndex], name->format);
  const Stream stream = MakeStream(*name, args, kFrames);
  TempDir dir;
  WriteFileBytes(dir / "in", stream.input);
  for (const char* threads : {"1", "3"}) {
    const auto out = dir / (std::string("out") + threads);
    const CommandResult r =
        RunProgram(SORVAN_COMMAND, Concat(Concat(FormatArgs(*name), OptionsOf(args)),
                                          {"--threads", threads, (dir / "in").string(), out.string()}));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string got = ReadFileBytes(out);
    ASSERT_EQ(got.size(), stream.expected.size()) << threads << " threads";
    EXPECT_TRUE(got == stream.expected) << threads << " threads: output differs from the core";
    // The summary line, and nothing else, on standard error (it is not a terminal here).
    EXPECT_EQ(r.err.rfind("sorvan: 3 frames in ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_NE(stream.expected, stream.input) << "the settings changed nothing; the comparison would prove little";
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<const FormatName*, int>>& info) {
  const FormatName* n = std::get<0>(info.param);
  std::string name = std::string(n->kind == NameKind::kY4m ? "y4m_" : "raw_") + n->name;
  return name + "_" + kFilterCases[std::get<1>(info.param)].name;
}

INSTANTIATE_TEST_SUITE_P(All, CommandMatchesTheCore,
                         ::testing::Combine(::testing::ValuesIn(AllNames()),
                                            ::testing::Range(0, static_cast<int>(std::size(kFilterCases)))),
                         CaseName);

// Moves every channel (and alpha) of a frame of `from` to its place in `to`; both formats have
// the same channels at the same sizes, in other places.
std::string Rearrange(const std::string& frame, const VideoFormat& from, const VideoFormat& to, int32_t w, int32_t h) {
  std::string out(frame.size(), '\0');
  const auto fromPlanes = PlanesOf(from, w, h);
  const auto toPlanes = PlanesOf(to, w, h);
  const int32_t bytes = BytesPerSample(from);
  for (int32_t c = 0; c <= kColourChannels; ++c) {
    const ChannelPlacement& a = c < kColourChannels ? from.channels[c] : from.alpha;
    const ChannelPlacement& b = c < kColourChannels ? to.channels[c] : to.alpha;
    if (!HasChannel(a)) continue;
    const TestPlane& pa = fromPlanes[a.plane];
    const TestPlane& pb = toPlanes[b.plane];
    for (int32_t y = 0; y < pa.height; ++y) {
      for (int32_t x = 0; x < (pa.width >> a.widthShift); ++x) {
        std::memcpy(out.data() + pb.offset + static_cast<size_t>(y) * pb.rowBytes + (b.offset + x * b.step) * bytes,
                    frame.data() + pa.offset + static_cast<size_t>(y) * pa.rowBytes + (a.offset + x * a.step) * bytes,
                    bytes);
      }
    }
  }
  return out;
}

// The same picture in two carriers gives the same picture out: channels go by colour, not by
// where they sit in memory.
TEST(CommandCarriers, TheSamePictureInTwoLayoutsComesOutTheSame) {
  const std::pair<const char*, const char*> pairs[] = {
      {"bgr24", "rgb24"},     {"bgra", "abgr"},       {"bgra", "argb"},       {"bgra", "gbrap"},
      {"yv12", "i420"},       {"yuyv422", "uyvy422"}, {"yuyv422", "yuv422p"}, {"rgba64le", "gbrap16le"},
      {"bgr48le", "rgb48le"}, {"rgb32", "rgba"}};
  for (const auto& [first, second] : pairs) {
    const VideoFormat a = FindRawFormat(first)->format;
    const VideoFormat b = FindRawFormat(second)->format;
    const int32_t w = 46;
    const auto frameBytes = static_cast<size_t>(FrameBytes(a, w, kHeight));
    const auto picture = MakeFrame(a, w, kHeight, 0);
    const std::string inA(picture.begin(), picture.end());
    const std::string inB = Rearrange(inA, a, b, w, kHeight);
    TempDir dir;
    WriteFileBytes(dir / "a", inA);
    WriteFileBytes(dir / "b", inB);
    const std::string size = std::to_string(w) + "x" + std::to_string(kHeight);
    const auto run = [&](const char* format, const char* in, const char* out) {
      const CommandResult r = RunProgram(SORVAN_COMMAND, {"--ry", "true", "--format", format, "--size", size,
                                                          (dir / in).string(), (dir / out).string()});
      EXPECT_EQ(r.exitStatus, 0) << r.err;
      return ReadFileBytes(dir / out);
    };
    const std::string outA = run(first, "a", "out-a");
    const std::string outB = run(second, "b", "out-b");
    ASSERT_EQ(outA.size(), frameBytes) << first;
    EXPECT_TRUE(Rearrange(outA, a, b, w, kHeight) == outB) << first << " and " << second << " differ";
    EXPECT_NE(outA, inA) << first << ": nothing was filtered";
  }
}

// Packed 4:2:2 of odd width as ffmpeg stores it (checked with ffmpeg 5.1): rows of whole pixel
// pairs, the last pair's second luma sample padding. Filtered as the same samples in planar
// 4:2:2; the padding comes out as a copy of the last luma sample, as ffmpeg writes it.
TEST(CommandCarriers, OddWidthPacked422IsFilteredAsItsPlanarSamples) {
  constexpr int32_t w = 23;
  constexpr int32_t pairs = (w + 1) / 2;
  const VideoFormat planar = FindRawFormat("yuv422p")->format;
  const auto planes = PlanesOf(planar, w, kHeight);
  const auto picture = MakeFrame(planar, w, kHeight, 0);
  const auto sample = [&](const auto& frame, int32_t c, int32_t x, int32_t y) -> uint8_t {
    return frame[planes[c].offset + static_cast<size_t>(y) * planes[c].rowBytes + x];
  };
  TempDir dir;
  WriteFileBytes(dir / "planar", std::string(picture.begin(), picture.end()));
  const std::string size = std::to_string(w) + "x" + std::to_string(kHeight);
  const auto run = [&](const char* format, const char* in, const char* out) {
    const CommandResult r = RunProgram(SORVAN_COMMAND, {"--ry", "true", "--format", format, "--size", size,
                                                        (dir / in).string(), (dir / out).string()});
    EXPECT_EQ(r.exitStatus, 0) << format << ": " << r.err;
    return ReadFileBytes(dir / out);
  };
  const std::string filtered = run("yuv422p", "planar", "planar-out");
  for (const bool yFirst : {true, false}) {
    // Where Y0, U, Y1, V sit in a pair.
    const int at[4] = {yFirst ? 0 : 1, yFirst ? 1 : 0, yFirst ? 2 : 3, yFirst ? 3 : 2};
    std::string packed(static_cast<size_t>(pairs) * 4 * kHeight, '\x55');
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t p = 0; p < pairs; ++p) {
        char* pair = packed.data() + (static_cast<size_t>(y) * pairs + p) * 4;
        pair[at[0]] = static_cast<char>(sample(picture, 0, 2 * p, y));
        if (2 * p + 1 < w) pair[at[2]] = static_cast<char>(sample(picture, 0, 2 * p + 1, y));
        pair[at[1]] = static_cast<char>(sample(picture, 1, p, y));
        pair[at[3]] = static_cast<char>(sample(picture, 2, p, y));
      }
    }
    WriteFileBytes(dir / "packed", packed);
    const std::string out = run(yFirst ? "yuyv422" : "uyvy422", "packed", "packed-out");
    ASSERT_EQ(out.size(), packed.size());
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t p = 0; p < pairs; ++p) {
        const char* pair = out.data() + (static_cast<size_t>(y) * pairs + p) * 4;
        const auto get = [pair](int i) { return static_cast<uint8_t>(pair[i]); };
        ASSERT_EQ(get(at[0]), sample(filtered, 0, 2 * p, y)) << y << "," << p;
        ASSERT_EQ(get(at[2]), sample(filtered, 0, std::min(2 * p + 1, w - 1), y)) << y << "," << p;
        ASSERT_EQ(get(at[1]), sample(filtered, 1, p, y)) << y << "," << p;
        ASSERT_EQ(get(at[3]), sample(filtered, 2, p, y)) << y << "," << p;
      }
    }
  }
  EXPECT_NE(filtered, std::string(picture.begin(), picture.end())) << "nothing was filtered";
}

TEST(Command, PipesFromStandardInputToStandardOutput) {
  const Stream stream = MakeStream(*FindY4mColourSpace("420p10"), DefaultArguments(), 3);
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", stream.input);
  const CommandResult r =
      RunProgram(SORVAN_COMMAND, {"--quiet", "-", "-"}, (dir / "in.y4m").string(), (dir / "out.y4m").string());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(ReadFileBytes(dir / "out.y4m") == stream.expected);
}

TEST(Command, FramesOptionStopsEarlyAndAnExistingOutputIsReplaced) {
  const FormatName& yuy2 = *FindRawFormat("yuy2");
  const Stream stream = MakeStream(yuy2, DefaultArguments(), 3);
  TempDir dir;
  WriteFileBytes(dir / "in.yuy2", stream.input);
  WriteFileBytes(dir / "out.yuy2", "previous contents");
  const CommandResult r =
      RunProgram(SORVAN_COMMAND,
                 Concat(FormatArgs(yuy2), {"--frames", "2", (dir / "in.yuy2").string(), (dir / "out.yuy2").string()}));
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const size_t frameBytes = stream.input.size() / 3;
  EXPECT_TRUE(ReadFileBytes(dir / "out.yuy2") == stream.expected.substr(0, 2 * frameBytes));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.yuy2", "out.yuy2"}));
}

// Each refusal: non-zero status, one line on standard error, and no OUTPUT left behind.
struct RefusalCase {
  const char* name;
  std::vector<std::string> options;
  std::string input;    // contents of INPUT
  std::string message;  // the whole line, or a part of it when `exact` is false
  bool exact;
};

std::string Y4m420(int frames, size_t lastFrameBytes) {
  std::string s = "YUV4MPEG2 W64 H40 C420jpeg\n";
  for (int f = 0; f < frames; ++f) s += "FRAME\n" + std::string(64 * 40 * 3 / 2, static_cast<char>(100 + f));
  s += "FRAME\n" + std::string(lastFrameBytes, 'x');
  return s;
}

const std::string kGoodY4m = Y4m420(1, 64 * 40 * 3 / 2);

class CommandRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CommandRefusal, ReportsOneLineAndLeavesNoOutput) {
  const RefusalCase& c = GetParam();
  TempDir dir;
  WriteFileBytes(dir / "in", c.input);
  const CommandResult r =
      RunProgram(SORVAN_COMMAND, Concat(c.options, {(dir / "in").string(), (dir / "out").string()}));
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_NE(r.exitStatus, -1) << "the command crashed";
  if (c.exact) {
    EXPECT_EQ(r.err, c.message + "\n");
  } else {
    EXPECT_NE(r.err.find(c.message), std::string::npos) << "stderr: " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in"}) << "something was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    All, CommandRefusal,
    ::testing::Values(
        RefusalCase{"unknown_option", {"--bogus"}, kGoodY4m, "--bogus", false},
        RefusalCase{"bad_boolean", {"--ry", "yes"}, kGoodY4m, "--ry", false},
        RefusalCase{"rad_out_of_range", {"--rad", "0"}, kGoodY4m, "Sorvan:rad must be between 1 and 8", true},
        RefusalCase{"str_out_of_range", {"--str", "9"}, kGoodY4m, "Sorvan:str must be between 1 and 8", true},
        RefusalCase{"no_channel",
                    {"--gu", "false", "--bv", "false"},
                    kGoodY4m,
                    "Sorvan: At least one of ry, gu and bv must be true",
                    true},
        RefusalCase{"limit_out_of_range",
                    {"--ry", "true", "--pry", "11", "--nry", "11"},
                    kGoodY4m,
                    "Sorvan: limit pry must be between 0 and 10",
                    true},
        RefusalCase{"both_limits_zero",
                    {"--pbv", "0", "--nbv", "0"},
                    kGoodY4m,
                    "Sorvan: both limits pbv and nbv are specified as zero",
                    true},
        RefusalCase{"not_y4m", {}, "RIFF....AVI", "is not a Y4M stream", false},
        RefusalCase{"empty_input", {}, "", "is empty", false},
        RefusalCase{"y4m_unknown_colour",
                    {},
                    "YUV4MPEG2 W64 H40 C420p8\nFRAME\n",
                    "Y4M colour space 'C420p8' is not supported",
                    false},
        RefusalCase{"gray_without_channel_0",
                    {},
                    "YUV4MPEG2 W64 H40 Cmono10\nFRAME\n",
                    "Sorvan: a clip without colour planes has only channel 0: set ry=true",
                    true},
        RefusalCase{
            "y4m_absurd_size", {}, "YUV4MPEG2 W100000 H100000\nFRAME\n", "(W100000 H100000) asks for larger", false},
        RefusalCase{"y4m_truncated_last_frame",
                    {},
                    Y4m420(2, 1000),
                    "sorvan: input ends inside frame 2 (counting from 0): 2840 of 3840 bytes missing",
                    true},
        RefusalCase{"y4m_truncated_frame_line",
                    {},
                    Y4m420(2, 0).substr(0, Y4m420(2, 0).size() - 3),
                    "sorvan: input ends inside the FRAME line of frame 2 (counting from 0)",
                    true},
        RefusalCase{"raw_truncated_last_frame",
                    {"--format", "rgb32", "--size", "4x2"},
                    std::string(32 * 3 + 5, 'a'),
                    "sorvan: input ends inside frame 3 (counting from 0): 27 of 32 bytes missing",
                    true},
        RefusalCase{"raw_unknown_format",
                    {"--format", "nv12", "--size", "4x2"},
                    std::string(12, 'a'),
                    "sorvan: --format nv12 is not a format sorvan reads (--format help lists them)",
                    true},
        RefusalCase{
            "raw_zero_size", {"--format", "rgb24", "--size", "0x4"}, std::string(12, 'a'), "at least 1", false}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(CommandRefusal, MissingInput) {
  TempDir dir;
  const CommandResult r = RunProgram(SORVAN_COMMAND, {(dir / "nope.y4m").string(), (dir / "out.y4m").string()});
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
  EXPECT_TRUE(dir.Entries().empty());
}

// A SORVAN_MAX_ISA that names no level of the build stops the command with the core's one line.
TEST(CommandRefusal, AnUnknownInstructionSetCap) {
  TempDir dir;
  WriteFileBytes(dir / "in", kGoodY4m);
  const CommandResult r = RunProgram(SORVAN_COMMAND, {(dir / "in").string(), (dir / "out").string()}, "/dev/null", "",
                                     [] { setenv("SORVAN_MAX_ISA", "avx9\nx", 1); });
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err.rfind("Sorvan: SORVAN_MAX_ISA=\"avx9?x\" names no instruction set of this build (scalar", 0), 0u)
      << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in"});
}

TEST(CommandRefusal, AFailedRunKeepsAnExistingOutput) {
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", Y4m420(3, 10));
  WriteFileBytes(dir / "out.y4m", "keep me");
  const CommandResult r = RunProgram(SORVAN_COMMAND, {(dir / "in.y4m").string(), (dir / "out.y4m").string()});
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_NE(r.err.find("frame 3"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(dir / "out.y4m"), "keep me");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.y4m", "out.y4m"}));
}

TEST(CommandRefusal, WriteErrorIsReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", kGoodY4m);
  const CommandResult r = RunProgram(SORVAN_COMMAND, {(dir / "in.y4m").string(), "/dev/full"});
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_EQ(r.err, "sorvan: cannot write /dev/full: No space left on device\n");
}

}  // namespace
}  // namespace sorvan::cli
