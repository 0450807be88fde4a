#include "cli/frame_format.h"

#include <gtest/gtest.h>

#include <random>

#include "cli/command_error.h"
#include "cli/yuy2_packing.h"
#include "plugin/classic/pixel_type.h"

namespace sorvan::cli {
namespace {

struct LayoutCase {
  StreamLayout layout;
  int32_t pixelType;
  size_t bytes4x2;  // frame bytes at 4x2
  friend void PrintTo(const LayoutCase& c, std::ostream* os) { *os << LayoutName(c.layout); }
};
class LayoutTable : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTable, SizeAndPixelType) {
  EXPECT_EQ(FrameBytes({GetParam().layout, 4, 2}), GetParam().bytes4x2);
  EXPECT_EQ(ClipPixelType(GetParam().layout), GetParam().pixelType);
}
INSTANTIATE_TEST_SUITE_P(All, LayoutTable,
                         ::testing::Values(LayoutCase{StreamLayout::kRgb24, CS_BGR24, 24},
                                           LayoutCase{StreamLayout::kRgb32, CS_BGR32, 32},
                                           LayoutCase{StreamLayout::kYuy2, CS_YUY2, 16},
                                           LayoutCase{StreamLayout::kYv12, CS_YV12, 12},
                                           LayoutCase{StreamLayout::kI420, CS_I420, 12},
                                           LayoutCase{StreamLayout::kPlanar422, CS_YUY2, 16}));

TEST(PlaneLayout, Yv12StoresVBeforeUAndI420UBeforeV) {
  const PlaneLayout yv12 = ClipPlaneLayout({StreamLayout::kYv12, 8, 4});
  const PlaneLayout i420 = ClipPlaneLayout({StreamLayout::kI420, 8, 4});
  EXPECT_EQ(yv12.vOffset, 32u);
  EXPECT_EQ(yv12.uOffset, 40u);
  EXPECT_EQ(i420.uOffset, 32u);
  EXPECT_EQ(i420.vOffset, 40u);
  EXPECT_EQ(i420.chromaPitch, 4);
}

struct SizeCase {
  StreamLayout layout;
  int32_t width;
  int32_t height;
  const char* expected;  // part of the message, or nullptr when accepted
  friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << LayoutName(c.layout) << " " << c.width << "x" << c.height; }
};
class SizeCheck : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeCheck, RefusesWhatTheFrameServerWouldRefuse) {
  const SizeCase& c = GetParam();
  std::string error;
  try {
    CheckFrameSize({c.layout, c.width, c.height}, "--size");
  } catch (const CommandError& e) {
    error = e.what();
  }
  if (c.expected == nullptr) {
    EXPECT_EQ(error, "");
  } else {
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
}
INSTANTIATE_TEST_SUITE_P(
    All, SizeCheck,
    ::testing::Values(SizeCase{StreamLayout::kRgb24, 1, 1, nullptr}, SizeCase{StreamLayout::kRgb32, 3, 7, nullptr},
                      SizeCase{StreamLayout::kYuy2, 2, 3, nullptr}, SizeCase{StreamLayout::kYuy2, 3, 2, "width must be even"},
                      SizeCase{StreamLayout::kYv12, 4, 2, nullptr},
                      SizeCase{StreamLayout::kYv12, 4, 3, "width and height must be even"},
                      SizeCase{StreamLayout::kI420, 5, 2, "width and height must be even"},
                      SizeCase{StreamLayout::kRgb24, 0, 4, "at least 1"}, SizeCase{StreamLayout::kRgb24, 4, 0, "at least 1"},
                      SizeCase{StreamLayout::kRgb24, 16385, 2, "at most 16384 on a side"},
                      SizeCase{StreamLayout::kRgb32, 16384, 4096, nullptr},
                      SizeCase{StreamLayout::kRgb32, 16384, 4098, "67108864 pixels"}));

TEST(Yuy2Packing, PutsEachPairAsY0UY1V) {
  // 4x1 planar 4:2:2: Y = 1 2 3 4, U = 10 20, V = 30 40.
  const uint8_t planar[8] = {1, 2, 3, 4, 10, 20, 30, 40};
  uint8_t packed[8] = {};
  PackPlanar422ToYuy2(planar, packed, 4, 1);
  const uint8_t expected[8] = {1, 10, 2, 30, 3, 20, 4, 40};
  EXPECT_TRUE(std::equal(packed, packed + 8, expected));
}

TEST(Yuy2Packing, UnpackInvertsPackOnRandomFrames) {
  std::mt19937 rng(5);
  for (const auto& [w, h] : {std::pair{2, 1}, std::pair{6, 3}, std::pair{16, 9}}) {
    std::vector<uint8_t> planar(static_cast<size_t>(w) * h * 2);
    for (auto& b : planar) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> packed(planar.size());
    std::vector<uint8_t> back(planar.size());
    PackPlanar422ToYuy2(planar.data(), packed.data(), w, h);
    UnpackYuy2ToPlanar422(packed.data(), back.data(), w, h);
    EXPECT_EQ(back, planar) << w << "x" << h;
    // Row 0, pair 0: the V sample of the first pair is the first sample of the V plane.
    EXPECT_EQ(packed[3], planar[static_cast<size_t>(w) * h + static_cast<size_t>(w / 2) * h]);
  }
}

}  // namespace
}  // namespace sorvan::cli
