// Frames placed against inaccessible pages, with tight and padded pitches, on the sizes where
// stray accesses hide: empty and single rows or columns, each average's minimum size and one
// either side of it, and the tiny chroma planes of small planar clips. A stray access crashes.
#include <gtest/gtest.h>

#include <set>

#include "core/filter_plan.h"
#include "support/expected_channel.h"
#include "support/guarded_frame.h"

namespace sorvan::testing {
namespace {

const int32_t kPixelTypes[] = {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420};

std::set<int32_t> EdgeSizes(int32_t rad, bool force, int32_t type) {
  const int32_t minimum = force ? 2 * rad + 1 : 2 * rad;
  // Planar chroma and YUY2 chroma are half as wide, so their minimum sits at twice the size.
  std::set<int32_t> sizes = {0, 1, 2, 4, minimum - 1, minimum, minimum + 1};
  if (type != CS_BGR24 && type != CS_BGR32) sizes.insert({2 * minimum - 2, 2 * minimum, 2 * minimum + 2});
  return sizes;
}

bool Acceptable(int32_t type, int32_t w, int32_t h) {
  if (w <= 0 || h <= 0) return w == 0 && h == 0;
  if (type == CS_YUY2) return w % 2 == 0;
  if ((type & CS_PLANAR) != 0) return w % 2 == 0 && h % 2 == 0;
  return true;
}

class GuardPages : public ::testing::TestWithParam<std::tuple<int32_t, bool>> {};

TEST_P(GuardPages, NoAccessOutsideAnyPlane) {
  const auto [type, force] = GetParam();
  std::mt19937 rng(static_cast<uint32_t>(type) + force);
  int runs = 0;
  for (int32_t rad = 1; rad <= 8; ++rad) {
    const std::set<int32_t> sizes = EdgeSizes(rad, force, type);
    for (const int32_t w : sizes) {
      for (const int32_t h : sizes) {
        if (!Acceptable(type, w, h)) continue;
        for (const Guard guard : {Guard::Before, Guard::After}) {
          for (const int32_t padding : {0, 5}) {
            GuardedFrame src(type, w, h, padding, padding, guard);
            GuardedFrame dst(type, w, h, padding * 3, padding, guard);
            GuardedFrame reference(type, w, h, padding * 3, padding, guard);
            src.Fill(rng);
            const FilterArguments arguments = Arguments({{kRad, rad}, {kForce, force}, {kRy, 1}});
            VideoFormat format{};
            ASSERT_TRUE(ClassicFormat(type, &format));
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

INSTANTIATE_TEST_SUITE_P(AllTypesBothModes, GuardPages,
                         ::testing::Combine(::testing::ValuesIn(kPixelTypes), ::testing::Bool()));

}  // namespace
}  // namespace sorvan::testing
