#include "cli/options.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <string>
#include <vector>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

Options Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "sorvan");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  return ParseOptions(static_cast<int>(argv.size()), argv.data());
}

std::string ParseError(std::vector<std::string> args) {
  try {
    Parse(std::move(args));
  } catch (const CommandError& e) {
    return e.what();
  }
  return "";
}

TEST(Options, GivenFilterArgumentsOverTheTablesDefaults) {
  const Options o = Parse({"--nbv", "7", "--force", "true", "--rad", "3", "--gu", "false", "in", "out"});
  FilterArguments expected = DefaultArguments();
  expected[kNbv] = 7;
  expected[kForce] = 1;
  expected[kRad] = 3;
  expected[kGu] = 0;
  for (int32_t i = 0; i < kParameterCount; ++i) {
    EXPECT_EQ(o.filterArguments.values[i], expected.values[i]) << kParameters[i].name;
  }
  EXPECT_EQ(o.input, "in");
  EXPECT_EQ(o.output, "out");
  EXPECT_EQ(o.rawFormat, nullptr);
  EXPECT_EQ(o.maxFrames, -1);
}

TEST(Options, OutOfRangeFilterValuesAreLeftToTheFiltersOwnChecks) {
  const Options o = Parse({"--rad", "0", "--pry", "-1", "--str", "99", "--ngu", "2147483647", "-", "-"});
  EXPECT_EQ(o.filterArguments[kRad], 0);
  EXPECT_EQ(o.filterArguments[kStr], 99);
  EXPECT_EQ(o.filterArguments[kPry], -1);
  EXPECT_EQ(o.filterArguments[kNgu], 2147483647);
}

TEST(Options, NumbersAreDecimalWhateverTheirLeadingZeros) {
  const Options o =
      Parse({"--rad", "010", "--threads", "08", "--frames", "0009", "--format", "i420", "--size", "010x08", "a", "b"});
  EXPECT_EQ(o.filterArguments[kRad], 10);
  EXPECT_EQ(o.threads, 8);
  EXPECT_EQ(o.maxFrames, 9);
  EXPECT_EQ(o.rawWidth, 10);
  EXPECT_EQ(o.rawHeight, 8);
}

TEST(Options, FormatHelpNeedsNothingElse) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--format", "help"}, std::vector<std::string>{"--format=help"},
        std::vector<std::string>{"--format", "help", "--size", "2x2", "a", "b"}}) {
    try {
      Parse(args);
      ADD_FAILURE() << "no help";
    } catch (const HelpRequested& help) {
      EXPECT_EQ(help.what(), RawFormatHelp());
    }
  }
}

TEST(Options, DefaultThreadsFollowTheAffinityMask) {
  cpu_set_t saved;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(Parse({"a", "b"}).threads, std::min(CPU_COUNT(&saved), kMaxThreads));
  int first = 0;
  while (!CPU_ISSET(first, &saved)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const int threads = Parse({"a", "b"}).threads;
  ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(threads, 1);
}

TEST(Options, RawFormatAndSize) {
  const Options o =
      Parse({"--format", "yv12", "--size", "640x360", "--threads", "3", "--frames", "10", "--quiet", "a", "b"});
  ASSERT_NE(o.rawFormat, nullptr);
  EXPECT_STREQ(o.rawFormat->name, "yv12");
  EXPECT_EQ(o.rawWidth, 640);
  EXPECT_EQ(o.rawHeight, 360);
  EXPECT_EQ(o.threads, 3);
  EXPECT_EQ(o.maxFrames, 10);
  EXPECT_TRUE(o.quiet);
}

// ffmpeg's other names for formats it reads here (checked with ffmpeg 5.1 on this machine).
TEST(Options, FfmpegAliasesAndNativeEndianNamesMeanTheirFormat) {
  const std::pair<const char*, const char*> aliases[] = {
      {"yuv420p10", "yuv420p10le"}, {"gray16", "gray16le"}, {"rgb48", "rgb48le"}, {"grayf32", "grayf32le"},
      {"gbrap16", "gbrap16le"},     {"gray8", "gray"},      {"y8", "gray"},       {"bgr32", "rgba"}};
  for (const auto& [alias, name] : aliases) {
    const Options o = Parse({"--format", alias, "--size", "4x4", "a", "b"});
    ASSERT_NE(o.rawFormat, nullptr) << alias;
    EXPECT_STREQ(o.rawFormat->name, name) << alias;
  }
}

struct RefusalCase {
  std::vector<std::string> args;
  std::string expected;
  friend void PrintTo(const RefusalCase& c, std::ostream* os) {
    for (const auto& a : c.args) *os << a << " ";
  }
};
class OptionRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(OptionRefusal, OneLineWithTheReason) {
  const std::string error = ParseError(GetParam().args);
  EXPECT_NE(error.find(GetParam().expected), std::string::npos) << "message: " << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}
INSTANTIATE_TEST_SUITE_P(
    All, OptionRefusal,
    ::testing::Values(RefusalCase{{"in"}, "OUTPUT is required"}, RefusalCase{{"--ry", "yes", "a", "b"}, "--ry"},
                      RefusalCase{{"--rad", "x", "a", "b"}, "--rad"}, RefusalCase{{"--bogus", "a", "b"}, "--bogus"},
                      RefusalCase{{"--format", "nv12", "--size", "2x2", "a", "b"}, "--format"},
                      RefusalCase{{"--format", "i420", "a", "b"}, "--format needs --size"},
                      RefusalCase{{"--size", "2x2", "a", "b"}, "--size needs --format"},
                      RefusalCase{{"--format", "i420", "--size", "2x", "a", "b"}, "not of the form WxH"},
                      RefusalCase{{"--format", "gray16be", "--size", "2x2", "a", "b"},
                                  "--format gray16be: sorvan reads samples in little-endian order only; have ffmpeg "
                                  "write gray16le (-pix_fmt gray16le) and give --format gray16le"},
                      RefusalCase{{"--format", "yuy2", "--size", "0x2", "a", "b"}, "at least 1"},
                      RefusalCase{{"--threads", "0", "a", "b"}, "--threads 0 is out of range: give 1 to 256"},
                      RefusalCase{{"--threads", "257", "a", "b"}, "--threads 257 is out of range: give 1 to 256"},
                      RefusalCase{{"--frames", "-2", "a", "b"}, "--frames -2 is out of range: give 0 or more"},
                      RefusalCase{{"--RAD", "3", "a", "b"}, "unknown option --RAD (see sorvan --help)"},
                      RefusalCase{{"a", "b", "c"}, "unexpected argument c"},
                      RefusalCase{{"--format", "gray", "--size", "4294967296x1", "a", "b"},
                                  "--size 4294967296x1 asks for larger frames than sorvan accepts"},
                      RefusalCase{{"--zoom", "2", "a", "b"}, "--zoom shapes the picture of --compare"},
                      RefusalCase{{"--compare", "0", "c.png", "--zoom", "0", "a"},
                                  "--zoom 0 is out of range: give 1 to 16"}));

// Numbers are plain decimal integers: no other base, sign, space or exponent, and nothing beyond
// the type, with the option and the text as given, and no type limits, in the message.
class NumberRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(NumberRefusal, NamesTheOptionAndTheTextAsGiven) {
  const std::string error = ParseError(GetParam().args);
  EXPECT_EQ(error, GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    All, NumberRefusal,
    ::testing::Values(RefusalCase{{"--rad", "0x10", "a", "b"}, "--rad 0x10 is not a decimal integer"},
                      RefusalCase{{"--rad", "+5", "a", "b"}, "--rad +5 is not a decimal integer"},
                      RefusalCase{{"--str", "1e3", "a", "b"}, "--str 1e3 is not a decimal integer"},
                      RefusalCase{{"--pry", " 3", "a", "b"}, "--pry  3 is not a decimal integer"},
                      RefusalCase{{"--pry", "3 ", "a", "b"}, "--pry 3  is not a decimal integer"},
                      RefusalCase{{"--nbv", "0b11", "a", "b"}, "--nbv 0b11 is not a decimal integer"},
                      RefusalCase{{"--rad", "2147483648", "a", "b"}, "--rad 2147483648 is out of range: give 1 to 8"},
                      RefusalCase{{"--pry", "-2147483649", "a", "b"},
                                  "--pry -2147483649 is out of range: give 0 to 10"},
                      RefusalCase{{"--rad", "99999999999999999999999", "a", "b"},
                                  "--rad 99999999999999999999999 is out of range: give 1 to 8"},
                      RefusalCase{{"--threads", "0x4", "a", "b"}, "--threads 0x4 is not a decimal integer"},
                      RefusalCase{{"--threads", "99999999999999999999", "a", "b"},
                                  "--threads 99999999999999999999 is out of range: give 1 to 256"},
                      RefusalCase{{"--frames", "012a", "a", "b"}, "--frames 012a is not a decimal integer"},
                      RefusalCase{{"--frames", "9223372036854775808", "a", "b"},
                                  "--frames 9223372036854775808 is out of range: give 0 or more"},
                      RefusalCase{{"--ry", "1", "a", "b"}, "--ry 1 is not true or false"}));

struct SizeTextCase {
  std::string text;
  bool valid;
  int32_t w;
  int32_t h;
  friend void PrintTo(const SizeTextCase& c, std::ostream* os) { *os << "'" << c.text << "'"; }
};
class FrameSizeText : public ::testing::TestWithParam<SizeTextCase> {};

TEST_P(FrameSizeText, Parses) {
  const auto r = ParseFrameSize(GetParam().text);
  ASSERT_EQ(r.has_value(), GetParam().valid);
  if (r) {
    EXPECT_EQ(r->first, GetParam().w);
    EXPECT_EQ(r->second, GetParam().h);
  }
}
INSTANTIATE_TEST_SUITE_P(All, FrameSizeText,
                         ::testing::Values(SizeTextCase{"640x360", true, 640, 360}, SizeTextCase{"2x2", true, 2, 2},
                                           SizeTextCase{"x2", false, 0, 0}, SizeTextCase{"2x", false, 0, 0},
                                           SizeTextCase{"2*2", false, 0, 0}, SizeTextCase{"-2x2", false, 0, 0},
                                           SizeTextCase{"2x2x", false, 0, 0}, SizeTextCase{" 2x2", false, 0, 0},
                                           SizeTextCase{"0x10x2", false, 0, 0}, SizeTextCase{"+2x2", false, 0, 0},
                                           SizeTextCase{"2x+2", false, 0, 0}, SizeTextCase{"010x08", true, 10, 8}));

}  // namespace
}  // namespace sorvan::cli
