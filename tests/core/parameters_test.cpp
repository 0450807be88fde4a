// The parameter table and its checks: the order of the argument checks, the gray-clip rule and
// the look-up by name.
#include <gtest/gtest.h>

#include <string>

#include "core/parameters.h"
#include "tests/support/expected_channel.h"

namespace sorvan::testing {
namespace {

std::string Error(const FilterArguments& a) {
  const char* e = FirstArgumentError(a);
  return e != nullptr ? e : "(accepted)";
}

TEST(Parameters, ChecksRunInTheirFixedOrder) {
  EXPECT_EQ(Error(DefaultArguments()), "(accepted)");
  EXPECT_EQ(Error(Arguments({{kRad, 0}, {kStr, 9}})), "Sorvan:rad must be between 1 and 8");
  EXPECT_EQ(Error(Arguments({{kStr, 9}, {kGu, 0}, {kBv, 0}})), "Sorvan:str must be between 1 and 8");
  EXPECT_EQ(Error(Arguments({{kGu, 0}, {kBv, 0}})), "Sorvan: At least one of ry, gu and bv must be true");
  EXPECT_EQ(Error(Arguments({{kPry, 20}, {kNry, -1}})), "(accepted)");  // ry off: its limits are not checked
  EXPECT_EQ(Error(Arguments({{kRy, 1}, {kPry, 11}, {kNry, 11}})), "Sorvan: limit pry must be between 0 and 10");
  EXPECT_EQ(Error(Arguments({{kRy, 1}, {kNry, 11}})), "Sorvan: limit nry must be between 0 and 10");
  EXPECT_EQ(Error(Arguments({{kRy, 1}, {kPry, 0}, {kNry, 0}})),
            "Sorvan: both limits pry and nry are specified as zero");
  EXPECT_EQ(Error(Arguments({{kPgu, 0}, {kNgu, 0}, {kPbv, 11}})),
            "Sorvan: both limits pgu and ngu are specified as zero");
  EXPECT_EQ(Error(Arguments({{kNbv, 11}})), "Sorvan: limit nbv must be between 0 and 10");
  EXPECT_EQ(Error(Arguments({{kForce, 1}, {kStr, 9}})), "Sorvan:str must be between 1 and 8");
}

TEST(Parameters, AGrayClipNeedsChannelZero) {
  const VideoFormat gray = PlanarFormat({.family = ColourFamily::kGray, .bitsPerSample = 10});
  EXPECT_STREQ(ChannelSelectionError(DefaultArguments(), gray),
               "Sorvan: a clip without colour planes has only channel 0: set ry=true");
  EXPECT_EQ(ChannelSelectionError(Arguments({{kRy, 1}, {kGu, 0}}), gray), nullptr);
  const VideoFormat yuv = PlanarFormat({.widthShift = 1, .heightShift = 1});
  EXPECT_EQ(ChannelSelectionError(DefaultArguments(), yuv), nullptr);
}

TEST(Parameters, TableLookups) {
  EXPECT_STREQ(kParameters[kGu].booleanMessage, "Sorvan: gu must be 0 or 1 (false or true)");
}

}  // namespace
}  // namespace sorvan::testing
