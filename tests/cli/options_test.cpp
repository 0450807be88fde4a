#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

Options Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "sorvan");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  auto options = ParseOptions(static_cast<int>(argv.size()), argv.data());
  if (!options) throw std::runtime_error("help");
  return *options;
}

std::string ParseError(std::vector<std::string> args) {
  try {
    Parse(std::move(args));
  } catch (const CommandError& e) {
    return e.what();
  }
  return "";
}

TEST(Options, PassesOnlyTheGivenFilterArgumentsInParameterOrder) {
  const Options o = Parse({"--nbv", "7", "--force", "true", "--rad", "3", "--ry", "false", "in", "out"});
  ASSERT_EQ(o.filterArguments.size(), 4u);
  EXPECT_EQ(o.filterArguments[0].name, "rad");
  EXPECT_EQ(std::get<int>(o.filterArguments[0].value), 3);
  EXPECT_EQ(o.filterArguments[1].name, "ry");
  EXPECT_EQ(std::get<bool>(o.filterArguments[1].value), false);
  EXPECT_EQ(o.filterArguments[2].name, "force");
  EXPECT_EQ(std::get<bool>(o.filterArguments[2].value), true);
  EXPECT_EQ(o.filterArguments[3].name, "nbv");
  EXPECT_EQ(o.input, "in");
  EXPECT_EQ(o.output, "out");
  EXPECT_FALSE(o.rawLayout.has_value());
  EXPECT_EQ(o.maxFrames, -1);
}

TEST(Options, OutOfRangeFilterValuesAreLeftToThePlugin) {
  const Options o = Parse({"--rad", "0", "--pry", "-1", "--str", "99", "-", "-"});
  ASSERT_EQ(o.filterArguments.size(), 3u);
  EXPECT_EQ(std::get<int>(o.filterArguments[0].value), 0);
  EXPECT_EQ(std::get<int>(o.filterArguments[1].value), 99);
  EXPECT_EQ(std::get<int>(o.filterArguments[2].value), -1);
}

TEST(Options, RawFormatAndSize) {
  const Options o = Parse({"--format", "yv12", "--size", "640x360", "--threads", "3", "--frames", "10", "--quiet", "a", "b"});
  EXPECT_EQ(o.rawLayout, StreamLayout::kYv12);
  EXPECT_EQ(o.rawWidth, 640);
  EXPECT_EQ(o.rawHeight, 360);
  EXPECT_EQ(o.threads, 3);
  EXPECT_EQ(o.maxFrames, 10);
  EXPECT_TRUE(o.quiet);
}

struct RefusalCase {
  std::vector<std::string> args;
  std::string expected;
  friend void PrintTo(const RefusalCase& c, std::ostream* os) { for (const auto& a : c.args) *os << a << " "; }
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
                      RefusalCase{{"--format", "i420", "--size", "3x2", "a", "b"}, "must be even"},
                      RefusalCase{{"--format", "yuy2", "--size", "0x2", "a", "b"}, "at least 1"},
                      RefusalCase{{"--threads", "0", "a", "b"}, "--threads"},
                      RefusalCase{{"--frames", "-2", "a", "b"}, "--frames"}));

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
                                           SizeTextCase{"2x2x", false, 0, 0}, SizeTextCase{" 2x2", false, 0, 0}));

}  // namespace
}  // namespace sorvan::cli
