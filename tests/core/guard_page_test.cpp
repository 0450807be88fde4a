// Frames placed against inaccessible pages, with tight and padded pitches, on the sizes where
// stray accesses hide: empty and single rows or columns, each average's minimum size and one
// either side of it, and the tiny chroma planes of small planar clips. A stray access crashes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/filter_plan.h"
#include "tests/support/expected_channel.h"
#include "tests/support/five_layouts.h"
#include "tests/support/guarded_frame.h"

namespace sorvan::testing {
namespace {

// Subsampled chroma (planar or packed 4:2:2) is half as wide as the frame.
bool HalfWidthChroma(const VideoFormat& f) { return f.family == ColourFamily::kYuv; }

std::set<int32_t> EdgeSizes(int32_t rad, bool force, const VideoFormat& format) {
  const int32_t minimum = force ? 2 * rad + 1 : 2 * rad;
  // Planar chroma and YUY2 chroma are half as wide, so their minimum sits at twice the size.
  std::set<int32_t> sizes = {0, 1, 2, 4, minimum - 1, minimum, minimum + 1};
  if (HalfWidthChroma(format)) sizes.insert({2 * minimum - 2, 2 * minimum, 2 * minimum + 2});
  return sizes;
}

bool Acceptable(const VideoFormat& format, int32_t w, int32_t h) {
  if (w <= 0 || h <= 0) return w == 0 && h == 0;
  if (IsPacked(format) && HalfWidthChroma(format)) return w % 2 == 0;
  if (HalfWidthChroma(format)) return w % 2 == 0 && h % 2 == 0;
  return true;
}

class GuardPages : public ::testing::TestWithParam<std::tuple<VideoFormat, bool>> {};

TEST_P(GuardPages, NoAccessOutsideAnyPlane) {
  const auto [format, force] = GetParam();
  std::mt19937 rng(force ? 7 : 3);
  int runs = 0;
  for (int32_t rad = 1; rad <= 8; ++rad) {
    const std::set<int32_t> sizes = EdgeSizes(rad, force, format);
    for (const int32_t w : sizes) {
      for (const int32_t h : sizes) {
        if (!Acceptable(format, w, h)) continue;
        for (const Guard guard : {Guard::Before, Guard::After}) {
          for (const int32_t padding : {0, 5}) {
            GuardedFrame src(format, w, h, padding, guard);
            GuardedFrame dst(format, w, h, padding * 3, guard);
            GuardedFrame reference(format, w, h, padding * 3, guard);
            src.Fill(rng);
            const FilterArguments arguments = Arguments({{kRad, rad}, {kForce, force}, {kRy, 1}});
            FilterPlan fast;
            FilterPlan scalar;
            ASSERT_EQ(fast.Init(arguments, format, w, h), PlanStatus::kOk);
            ASSERT_EQ(scalar.Init(arguments, format, w, h, InstructionSet::kScalar), PlanStatus::kOk);
            ASSERT_TRUE(fast.Process(dst.View(), src.SourceView(), kMemoryCopyPlane));
            ASSERT_TRUE(scalar.Process(reference.View(), src.SourceView(), kMemoryCopyPlane));
            ASSERT_TRUE(dst.SameBytes(reference)) << w << "x" << h << " rad " << rad;
            ++runs;
          }
        }
      }
    }
  }
  EXPECT_GT(runs, 100);
}

INSTANTIATE_TEST_SUITE_P(AllLayoutsBothModes, GuardPages,
                         ::testing::Combine(::testing::ValuesIn(FiveLayouts()), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_box" : "");
                         });

}  // namespace
}  // namespace sorvan::testing
