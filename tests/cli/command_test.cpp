// Runs the built `sorvan` command and compares its output with the frame processor called
// directly with the same settings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "cli/yuy2_packing.h"
#include "plugin/classic/pixel_type.h"
#include "core/filter_plan.h"
#include "plugin/classic/classic_formats.h"
#include "run_command.h"

namespace sorvan::cli {
namespace {

using testing::CommandResult;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 40;
constexpr int kFrames = 4;

enum class Input { kRgb24, kRgb32, kYuy2, kYv12, kI420, kY4m420, kY4m422 };

struct InputInfo {
  const char* name;
  const char* rawFormat;  // nullptr for Y4M
  int32_t pixelType;      // what the frame processor sees
  size_t frameBytes;
};

InputInfo Describe(Input input) {
  const size_t pixels = static_cast<size_t>(kWidth) * kHeight;
  switch (input) {
    case Input::kRgb24: return {"rgb24", "rgb24", CS_BGR24, pixels * 3};
    case Input::kRgb32: return {"rgb32", "rgb32", CS_BGR32, pixels * 4};
    case Input::kYuy2: return {"yuy2", "yuy2", CS_YUY2, pixels * 2};
    case Input::kYv12: return {"yv12", "yv12", CS_YV12, pixels * 3 / 2};
    case Input::kI420: return {"i420", "i420", CS_I420, pixels * 3 / 2};
    case Input::kY4m420: return {"y4m420", nullptr, CS_I420, pixels * 3 / 2};
    case Input::kY4m422: return {"y4m422", nullptr, CS_YUY2, pixels * 2};
  }
  return {};
}

std::string Y4mHeaderFor(Input input) {
  return std::string("YUV4MPEG2 W64 H40 F30000:1001 It A1:1 ") + (input == Input::kY4m422 ? "C422" : "C420mpeg2") +
         " XSOURCE=test\n";
}

using ArgValue = std::variant<int, bool>;
struct Arg {
  std::string name;
  ArgValue value;
};

void Apply(FilterArguments& s, const Arg& a) {
  Parameter p{};
  if (!FindParameter(a.name.c_str(), &p)) {
    ADD_FAILURE() << "unknown argument " << a.name;
    return;
  }
  s[p] = std::holds_alternative<int>(a.value) ? std::get<int>(a.value) : (std::get<bool>(a.value) ? 1 : 0);
}

std::vector<std::string> CommandArgs(const std::vector<Arg>& args) {
  std::vector<std::string> out;
  for (const Arg& a : args) {
    out.push_back("--" + a.name);
    out.push_back(std::holds_alternative<int>(a.value) ? std::to_string(std::get<int>(a.value))
                                                       : (std::get<bool>(a.value) ? "true" : "false"));
  }
  return out;
}

// Frame content that gives the filter work in every channel: gradients, a hard edge, and
// noise of a few levels, with a different pattern per frame.
std::vector<uint8_t> MakeFrame(size_t bytes, int frame) {
  std::mt19937 rng(1000 + frame);
  std::vector<uint8_t> v(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    const int base = static_cast<int>((i * 3 / 7 + frame * 11) % 160) + ((i / 977) % 2 ? 60 : 0);
    v[i] = static_cast<uint8_t>(base + static_cast<int>(rng() % 9) - 4 + 10);
  }
  return v;
}

void CopyRows(void*, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
              int32_t height) {
  for (int32_t y = 0; y < height; ++y) std::memcpy(dst + y * dstPitch, src + y * srcPitch, rowSize);
}

// The frame processor on one frame in the stream's layout, planes placed as the layout says.
std::vector<uint8_t> ExpectedFrame(Input input, const std::vector<Arg>& args, const std::vector<uint8_t>& in) {
  const InputInfo info = Describe(input);
  FilterArguments settings = DefaultArguments();
  for (const Arg& a : args) Apply(settings, a);
  VideoFormat format{};
  EXPECT_TRUE(ClassicFormat(info.pixelType, &format));
  FilterPlan plan;
  EXPECT_EQ(plan.Init(settings, format, kWidth, kHeight), PlanStatus::kOk);

  std::vector<uint8_t> src = in;
  if (input == Input::kY4m422) PackPlanar422ToYuy2(in.data(), src.data(), kWidth, kHeight);
  std::vector<uint8_t> dst(src.size(), 0);

  // The file holds the planes in the format's memory order (YV12: Y, V, U), without padding.
  SourceFrameView s{};
  FrameView d{};
  size_t offset = 0;
  for (int32_t p = 0; p < format.planeCount; ++p) {
    const int32_t width = PlaneWidth(format, p, kWidth);
    const int32_t height = PlaneHeight(format, p, kHeight);
    const int32_t pitch = static_cast<int32_t>(PlaneRowBytes(format, p, kWidth));
    s.planes[p] = {src.data() + offset, pitch, width, height};
    d.planes[p] = {dst.data() + offset, pitch, width, height};
    offset += static_cast<size_t>(pitch) * height;
  }
  EXPECT_TRUE(plan.Process(d, s, CopyPlane{&CopyRows, nullptr}));

  if (input == Input::kY4m422) {
    std::vector<uint8_t> planarOut(dst.size());
    UnpackYuy2ToPlanar422(dst.data(), planarOut.data(), kWidth, kHeight);
    return planarOut;
  }
  return dst;
}

struct Stream {
  std::string input;
  std::string expected;
};

Stream MakeStream(Input input, const std::vector<Arg>& args, int frames) {
  const InputInfo info = Describe(input);
  Stream s;
  if (info.rawFormat == nullptr) {
    s.input = Y4mHeaderFor(input);
    s.expected = s.input;
  }
  for (int f = 0; f < frames; ++f) {
    const auto frame = MakeFrame(info.frameBytes, f);
    const auto out = ExpectedFrame(input, args, frame);
    if (info.rawFormat == nullptr) {
      s.input += "FRAME\n";
      s.expected += "FRAME\n";
    }
    s.input.append(frame.begin(), frame.end());
    s.expected.append(out.begin(), out.end());
  }
  return s;
}

std::vector<std::string> FormatArgs(Input input) {
  const InputInfo info = Describe(input);
  if (info.rawFormat == nullptr) return {};
  return {"--format", info.rawFormat, "--size", "64x40"};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct FilterCase {
  const char* name;
  std::vector<Arg> args;
};

const FilterCase kFilterCases[] = {
    {"defaults", {}},
    {"box_rad2_all", {{"rad", 2}, {"str", 1}, {"ry", true}, {"force", true}}},
    {"gauss_rad8_luma_v", {{"rad", 8}, {"str", 8}, {"ry", true}, {"gu", false}, {"pry", 10}, {"nry", 0}, {"pbv", 0}, {"nbv", 2}}},
    {"box_rad8_u", {{"rad", 8}, {"force", true}, {"bv", false}, {"pgu", 5}, {"ngu", 5}}},
};

class CommandMatchesFrameProcessor : public ::testing::TestWithParam<std::tuple<Input, int>> {};

TEST_P(CommandMatchesFrameProcessor, ByteForByteWithOneAndFourThreads) {
  const auto [input, caseIndex] = GetParam();
  const FilterCase& fc = kFilterCases[caseIndex];
  const Stream stream = MakeStream(input, fc.args, kFrames);
  TempDir dir;
  WriteFileBytes(dir / "in", stream.input);
  for (const char* threads : {"1", "4"}) {
    const auto out = dir / (std::string("out") + threads);
    const CommandResult r = RunProgram(
        SORVAN_COMMAND,
        Concat(Concat(FormatArgs(input), CommandArgs(fc.args)), {"--threads", threads, (dir / "in").string(), out.string()}));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string got = ReadFileBytes(out);
    ASSERT_EQ(got.size(), stream.expected.size()) << threads << " threads";
    EXPECT_TRUE(got == stream.expected) << threads << " threads: output differs from the frame processor";
    // The summary line, and nothing else, on standard error (it is not a terminal here).
    EXPECT_EQ(r.err.rfind("sorvan: 4 frames in ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_NE(stream.expected, stream.input) << "the settings changed nothing; the comparison would prove little";
}

INSTANTIATE_TEST_SUITE_P(
    All, CommandMatchesFrameProcessor,
    ::testing::Combine(::testing::Values(Input::kRgb24, Input::kRgb32, Input::kYuy2, Input::kYv12, Input::kI420,
                                         Input::kY4m420, Input::kY4m422),
                       ::testing::Range(0, static_cast<int>(std::size(kFilterCases)))),
    [](const ::testing::TestParamInfo<std::tuple<Input, int>>& info) {
      return std::string(Describe(std::get<0>(info.param)).name) + "_" + kFilterCases[std::get<1>(info.param)].name;
    });

TEST(Command, PipesFromStandardInputToStandardOutput) {
  const Stream stream = MakeStream(Input::kY4m420, {}, 3);
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", stream.input);
  const CommandResult r =
      RunProgram(SORVAN_COMMAND, {"--quiet", "-", "-"}, (dir / "in.y4m").string(), (dir / "out.y4m").string());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(ReadFileBytes(dir / "out.y4m") == stream.expected);
}

TEST(Command, FramesOptionStopsEarlyAndAnExistingOutputIsReplaced) {
  const Stream stream = MakeStream(Input::kYuy2, {}, 4);
  TempDir dir;
  WriteFileBytes(dir / "in.yuy2", stream.input);
  WriteFileBytes(dir / "out.yuy2", "previous contents");
  const CommandResult r = RunProgram(SORVAN_COMMAND, {"--format", "yuy2", "--size", "64x40", "--frames", "2",
                                                      (dir / "in.yuy2").string(), (dir / "out.yuy2").string()});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(ReadFileBytes(dir / "out.yuy2") == stream.expected.substr(0, 2 * Describe(Input::kYuy2).frameBytes));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.yuy2", "out.yuy2"}));
}

TEST(Command, FindsThePluginBesideItselfOrThroughPluginOption) {
  const Stream stream = MakeStream(Input::kY4m420, {}, 1);
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", stream.input);
  const CommandResult ok = RunProgram(SORVAN_COMMAND, {"--plugin", SORVAN_PLUGIN, (dir / "in.y4m").string(),
                                                       (dir / "out.y4m").string()});
  EXPECT_EQ(ok.exitStatus, 0) << ok.err;
  const CommandResult bad = RunProgram(SORVAN_COMMAND, {"--plugin", (dir / "missing.so").string(),
                                                        (dir / "in.y4m").string(), (dir / "out2.y4m").string()});
  EXPECT_NE(bad.exitStatus, 0);
  EXPECT_NE(bad.err.find("missing.so"), std::string::npos) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out2.y4m"));
}

// Each refusal: non-zero status, one line on standard error, and no OUTPUT left behind.
struct RefusalCase {
  const char* name;
  std::vector<std::string> options;
  std::string input;       // contents of INPUT
  std::string message;     // the whole line, or a part of it when `exact` is false
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
        RefusalCase{"no_channel", {"--gu", "false", "--bv", "false"}, kGoodY4m,
                    "Sorvan: At least one of ry, gu and bv must be true", true},
        RefusalCase{"limit_out_of_range", {"--ry", "true", "--pry", "11", "--nry", "11"}, kGoodY4m,
                    "Sorvan: limit pry must be between 0 and 10", true},
        RefusalCase{"both_limits_zero", {"--pbv", "0", "--nbv", "0"}, kGoodY4m,
                    "Sorvan: both limits pbv and nbv are specified as zero", true},
        RefusalCase{"not_y4m", {}, "RIFF....AVI", "is not a Y4M stream", false},
        RefusalCase{"empty_input", {}, "", "is empty", false},
        RefusalCase{"y4m_444", {}, "YUV4MPEG2 W64 H40 C444\nFRAME\n", "Y4M colour space 'C444' is not supported", false},
        RefusalCase{"y4m_mono", {}, "YUV4MPEG2 W64 H40 Cmono\nFRAME\n", "'Cmono' is not supported", false},
        RefusalCase{"y4m_10bit", {}, "YUV4MPEG2 W64 H40 C420p10\nFRAME\n", "'C420p10' is not supported", false},
        RefusalCase{"y4m_absurd_size", {}, "YUV4MPEG2 W100000 H100000\nFRAME\n", "100000x100000", false},
        RefusalCase{"y4m_odd_size", {}, "YUV4MPEG2 W63 H40\nFRAME\n", "63x40 4:2:0 frames", false},
        RefusalCase{"y4m_truncated_last_frame", {}, Y4m420(2, 1000),
                    "sorvan: input ends inside frame 2 (counting from 0): 2840 of 3840 bytes missing", true},
        RefusalCase{"y4m_truncated_frame_line", {}, Y4m420(2, 0).substr(0, Y4m420(2, 0).size() - 3),
                    "sorvan: input ends inside the FRAME line of frame 2 (counting from 0)", true},
        RefusalCase{"raw_truncated_last_frame", {"--format", "rgb32", "--size", "4x2"}, std::string(32 * 3 + 5, 'a'),
                    "sorvan: input ends inside frame 3 (counting from 0): 27 of 32 bytes missing", true},
        RefusalCase{"raw_odd_yuy2_width", {"--format", "yuy2", "--size", "3x2"}, std::string(12, 'a'),
                    "width must be even", false},
        RefusalCase{"raw_odd_yv12_height", {"--format", "yv12", "--size", "4x3"}, std::string(18, 'a'),
                    "width and height must be even", false},
        RefusalCase{"raw_zero_size", {"--format", "rgb24", "--size", "0x4"}, std::string(12, 'a'), "at least 1", false}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(CommandRefusal, MissingInput) {
  TempDir dir;
  const CommandResult r = RunProgram(SORVAN_COMMAND, {(dir / "nope.y4m").string(), (dir / "out.y4m").string()});
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(CommandRefusal, OutputThatIsTheInputUnderAnotherName) {
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", kGoodY4m);
  std::filesystem::create_hard_link(dir / "in.y4m", dir / "alias.y4m");
  for (const char* name : {"in.y4m", "alias.y4m"}) {
    const CommandResult r = RunProgram(SORVAN_COMMAND, {(dir / "in.y4m").string(), (dir / name).string()});
    EXPECT_NE(r.exitStatus, 0);
    EXPECT_NE(r.err.find("is the input file"), std::string::npos) << r.err;
  }
  // Standard input redirected from OUTPUT is the same file too.
  const CommandResult r = RunProgram(SORVAN_COMMAND, {"-", (dir / "in.y4m").string()}, (dir / "in.y4m").string());
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_NE(r.err.find("is the input file"), std::string::npos) << r.err;
  EXPECT_TRUE(ReadFileBytes(dir / "in.y4m") == kGoodY4m);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"alias.y4m", "in.y4m"}));
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

namespace sorvan::cli {
namespace {

TEST(CommandInterrupted, RemovesItsTemporaryFile) {
  TempDir dir;
  const auto fifo = dir / "in.y4m";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string out = (dir / "out.y4m").string();
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 2);
    ::execl(SORVAN_COMMAND, SORVAN_COMMAND, "--quiet", fifo.c_str(), out.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Feed a header and one frame, keep the stream open, and wait for the temporary file.
  const int fd = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const std::string start = kGoodY4m;
  ASSERT_EQ(::write(fd, start.data(), start.size()), static_cast<ssize_t>(start.size()));
  bool sawTemporary = false;
  for (int i = 0; i < 500 && !sawTemporary; ++i) {
    sawTemporary = dir.Entries().size() == 2;
    if (!sawTemporary) ::usleep(10000);
  }
  EXPECT_TRUE(sawTemporary) << "the command made no temporary output file";
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(fd);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.y4m"});
}

}  // namespace
}  // namespace sorvan::cli
