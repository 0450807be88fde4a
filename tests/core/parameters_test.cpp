// The parameter table and its checks: the order of the checks, the gray-clip rule, the
// messages built from the table, and the hosts' parameter strings.
#include <gtest/gtest.h>

#include <string>

#include "core/parameters.h"
#include "support/expected_channel.h"

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
  const VideoFormat gray = PlanarFormat({ColourFamily::kGray, SampleType::kInteger, 10, 0, 0, false, {0, -1, -1}});
  EXPECT_STREQ(ChannelSelectionError(DefaultArguments(), gray),
               "Sorvan: a clip without colour planes has only channel 0: set ry=true");
  EXPECT_EQ(ChannelSelectionError(Arguments({{kRy, 1}, {kGu, 0}}), gray), nullptr);
  const VideoFormat yuv = PlanarFormat({ColourFamily::kYuv, SampleType::kInteger, 8, 1, 1, false, {0, 1, 2}});
  EXPECT_EQ(ChannelSelectionError(DefaultArguments(), yuv), nullptr);
}

TEST(Parameters, TableLookupsAndMessages) {
  Parameter p{};
  ASSERT_TRUE(FindParameter("nbv", &p));
  EXPECT_EQ(p, kNbv);
  EXPECT_FALSE(FindParameter("radius", &p));
  EXPECT_FALSE(FindParameter("", &p));
  char buffer[128];
  EXPECT_STREQ(UnsupportedFormatMessage(buffer, sizeof buffer, "YUV420PH16"),
               "Sorvan: YUV420PH16 is not supported: use 8 to 16-bit integer or 32-bit float samples");
  char tiny[10];
  EXPECT_STREQ(UnsupportedFormatMessage(tiny, sizeof tiny, "GrayH"), "Sorvan: G");
  EXPECT_STREQ(kParameters[kGu].booleanMessage, "Sorvan: gu must be 0 or 1 (false or true)");
}

TEST(Parameters, HostParameterStringsComeFromTheTable) {
  EXPECT_STREQ(kAvisynthParameterString.text,
               "c[rad]i[str]i[ry]b[gu]b[bv]b[force]b[pry]i[pgu]i[pbv]i[nry]i[ngu]i[nbv]i");
  EXPECT_STREQ(kVapourSynthArgumentString.text,
               "clip:vnode;rad:int:opt;str:int:opt;ry:int:opt;gu:int:opt;bv:int:opt;force:int:opt;pry:int:opt;"
               "pgu:int:opt;pbv:int:opt;nry:int:opt;ngu:int:opt;nbv:int:opt;");
}

}  // namespace
}  // namespace sorvan::testing
