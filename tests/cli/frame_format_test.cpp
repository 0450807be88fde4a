// The name table and the frame layout it gives: every name is a format the core computes on,
// each raw name means ffmpeg's bytes, and sizes are checked before anything is allocated.
#include "cli/frame_format.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/command_error.h"
#include "cli/format_names.h"

namespace sorvan::cli {
namespace {

TEST(FormatNames, EveryEntryIsProcessableAndNamedOnce) {
  std::set<std::string> raw;
  std::set<std::string> y4m;
  for (const FormatName& entry : FormatNames()) {
    EXPECT_TRUE(IsProcessableFormat(entry.format)) << entry.name;
    EXPECT_STREQ(entry.format.name, entry.name);
    auto& names = entry.kind == NameKind::kY4m ? y4m : raw;
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name << " twice";
  }
  EXPECT_GE(raw.size(), 70u);
  EXPECT_GE(y4m.size(), 45u);
}

// Bytes of a 2x2 frame, sample positions of blue/green/red or Y/U/V and alpha: what ffmpeg's
// pixel-format names mean, checked against independent facts about each layout.
struct LayoutCase {
  const char* name;
  int bytesPerPixelPair;  // bytes of a 2x1 frame
  ColourFamily family;
  int bits;
  int planes;
  int firstChannelPlane;  // plane of channel 0 (Y, blue or gray)
  int firstChannelOffset;
  bool alpha;
  friend void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }
};
class RawLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(RawLayout, MeansFfmpegsBytes) {
  const LayoutCase& c = GetParam();
  const FormatName* f = FindRawFormat(c.name);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(FrameBytes({f->format, 2, 1}), static_cast<size_t>(c.bytesPerPixelPair));
  EXPECT_EQ(f->format.family, c.family);
  EXPECT_EQ(f->format.bitsPerSample, c.bits);
  EXPECT_EQ(f->format.planeCount, c.planes);
  EXPECT_EQ(f->format.channels[0].plane, c.firstChannelPlane);
  EXPECT_EQ(f->format.channels[0].offset, c.firstChannelOffset);
  EXPECT_EQ(HasAlpha(f->format), c.alpha);
}
INSTANTIATE_TEST_SUITE_P(All, RawLayout,
                         ::testing::Values(LayoutCase{"gray", 2, ColourFamily::kGray, 8, 1, 0, 0, false},
                                           LayoutCase{"gray10le", 4, ColourFamily::kGray, 10, 1, 0, 0, false},
                                           LayoutCase{"grayf32le", 8, ColourFamily::kGray, 32, 1, 0, 0, false},
                                           // 2x1 4:2:0: two Y, one U and one V (rounded up).
                                           LayoutCase{"yuv420p", 4, ColourFamily::kYuv, 8, 3, 0, 0, false},
                                           LayoutCase{"yuv420p10le", 8, ColourFamily::kYuv, 10, 3, 0, 0, false},
                                           LayoutCase{"yuv444p16le", 12, ColourFamily::kYuv, 16, 3, 0, 0, false},
                                           LayoutCase{"yuv410p", 4, ColourFamily::kYuv, 8, 3, 0, 0, false},
                                           LayoutCase{"yuva444p", 8, ColourFamily::kYuv, 8, 4, 0, 0, true},
                                           LayoutCase{"yuva420p10le", 12, ColourFamily::kYuv, 10, 4, 0, 0, true},
                                           // gbrp: G, B, R planes, so blue is plane 1.
                                           LayoutCase{"gbrp", 6, ColourFamily::kRgb, 8, 3, 1, 0, false},
                                           LayoutCase{"gbrap12le", 16, ColourFamily::kRgb, 12, 4, 1, 0, true},
                                           LayoutCase{"gbrpf32le", 24, ColourFamily::kRgb, 32, 3, 1, 0, false},
                                           LayoutCase{"bgr24", 6, ColourFamily::kRgb, 8, 1, 0, 0, false},
                                           LayoutCase{"rgb24", 6, ColourFamily::kRgb, 8, 1, 0, 2, false},
                                           LayoutCase{"bgra", 8, ColourFamily::kRgb, 8, 1, 0, 0, true},
                                           LayoutCase{"rgba", 8, ColourFamily::kRgb, 8, 1, 0, 2, true},
                                           LayoutCase{"argb", 8, ColourFamily::kRgb, 8, 1, 0, 3, true},
                                           LayoutCase{"abgr", 8, ColourFamily::kRgb, 8, 1, 0, 1, true},
                                           LayoutCase{"rgb48le", 12, ColourFamily::kRgb, 16, 1, 0, 2, false},
                                           LayoutCase{"bgra64le", 16, ColourFamily::kRgb, 16, 1, 0, 0, true},
                                           LayoutCase{"yuyv422", 4, ColourFamily::kYuv, 8, 1, 0, 0, false},
                                           LayoutCase{"uyvy422", 4, ColourFamily::kYuv, 8, 1, 0, 1, false},
                                           // The classic names.
                                           LayoutCase{"rgb32", 8, ColourFamily::kRgb, 8, 1, 0, 0, true},
                                           LayoutCase{"yuy2", 4, ColourFamily::kYuv, 8, 1, 0, 0, false},
                                           LayoutCase{"i420", 4, ColourFamily::kYuv, 8, 3, 0, 0, false}));

TEST(RawLayout, Yv12StoresVBeforeUAndI420UBeforeV) {
  const VideoFormat yv12 = FindRawFormat("yv12")->format;
  const VideoFormat i420 = FindRawFormat("i420")->format;
  EXPECT_EQ(yv12.channels[1].plane, 2);
  EXPECT_EQ(yv12.channels[2].plane, 1);
  EXPECT_EQ(i420.channels[1].plane, 1);
  EXPECT_EQ(i420.channels[2].plane, 2);
}

TEST(FramePlanes, FollowEachOtherWithChromaRoundedUp) {
  const auto planes = FramePlanes({FindRawFormat("yuv420p10le")->format, 5, 3});
  EXPECT_EQ(planes[0].offset, 0u);
  EXPECT_EQ(planes[0].rowBytes, 10u);
  EXPECT_EQ(planes[0].height, 3);
  EXPECT_EQ(planes[1].offset, 30u);
  EXPECT_EQ(planes[1].rowBytes, 6u);
  EXPECT_EQ(planes[1].width, 3);
  EXPECT_EQ(planes[1].height, 2);
  EXPECT_EQ(planes[2].offset, 42u);
  EXPECT_EQ(FrameBytes({FindRawFormat("yuv420p10le")->format, 5, 3}), 54u);
}

struct SizeCase {
  int64_t w;
  int64_t h;
  const char* error;  // nullptr when accepted
  friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.w << "x" << c.h; }
};
class FrameSizeCheck : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FrameSizeCheck, AcceptsOrNamesTheRule) {
  const SizeCase& c = GetParam();
  try {
    CheckFrameSize(c.w, c.h, "--size as given");
    EXPECT_EQ(c.error, nullptr) << "accepted";
  } catch (const CommandError& e) {
    ASSERT_NE(c.error, nullptr) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind("--size as given", 0), 0u) << e.what();
    EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
  }
}
INSTANTIATE_TEST_SUITE_P(All, FrameSizeCheck,
                         ::testing::Values(SizeCase{1, 1, nullptr}, SizeCase{5, 3, nullptr},
                                           SizeCase{0, 4, "at least 1"}, SizeCase{4, 0, "at least 1"},
                                           SizeCase{16385, 2, "at most 16384 on a side"},
                                           SizeCase{int64_t{1} << 40, 1, "at most 16384 on a side"},
                                           SizeCase{16384, 4096, nullptr}, SizeCase{16384, 4098, "67108864 pixels"}));

TEST(FormatHelp, ListsEveryRawNameAndAlias) {
  const std::string help = RawFormatHelp();
  for (const FormatName& entry : FormatNames()) {
    if (entry.kind == NameKind::kY4m) continue;
    EXPECT_NE(help.find(std::string(" ") + entry.name), std::string::npos) << entry.name;
  }
  EXPECT_NE(help.find("C420p10"), std::string::npos);
}

}  // namespace
}  // namespace sorvan::cli
