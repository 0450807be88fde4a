// Whole frames through a filter plan: each fast path against the reference for all five pixel
// types, both modes, random switches, limits, rad and str, frame sizes from below the window
// upward, and destination pitches that differ from the source's.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/filter_plan.h"
#include "tests/support/expected_channel.h"
#include "tests/support/fast_path_support.h"
#include "tests/support/five_layouts.h"

namespace sorvan::testing {
namespace {

struct TestFrame {
  std::vector<uint8_t> main, u, v;
  int32_t pitch = 0;
  int32_t chromaPitch = 0;
  int32_t rowSize = 0;
  int32_t height = 0;
};

TestFrame MakeFrame(const VideoFormat& format, int32_t width, int32_t height, int32_t extra, std::mt19937& rng) {
  TestFrame f;
  f.rowSize = static_cast<int32_t>(PlaneRowBytes(format, 0, width));
  f.height = height;
  f.pitch = f.rowSize + extra;
  f.main.resize(static_cast<size_t>(f.pitch) * height);
  for (auto& b : f.main) b = static_cast<uint8_t>(rng());
  if (!IsPacked(format)) {
    f.chromaPitch = (width >> 1) + extra / 2 + 1;
    f.u.resize(static_cast<size_t>(f.chromaPitch) * (height >> 1) + 1);
    f.v.resize(f.u.size());
    for (auto& b : f.u) b = static_cast<uint8_t>(rng());
    for (auto& b : f.v) b = static_cast<uint8_t>(rng());
  }
  // Make part of the picture smooth so the merge keeps smoothed values as well as sources.
  if (rng() % 2 == 0) {
    const uint8_t base = static_cast<uint8_t>(rng());
    for (size_t i = 0; i < f.main.size(); ++i) f.main[i] = static_cast<uint8_t>(base + (rng() % 7));
    for (size_t i = 0; i < f.u.size(); ++i) f.u[i] = static_cast<uint8_t>(base / 2 + (rng() % 5));
  }
  return f;
}

// The frame as the core sees it, planes in the format's memory order.
template <typename Frame, typename Byte = std::conditional_t<std::is_const_v<Frame>, const uint8_t, uint8_t>>
BasicFrameView<Byte> View(Frame& f, const VideoFormat& format, int32_t width) {
  BasicFrameView<Byte> view{};
  const bool packed = format.planeCount == 1;
  view.planes[0] = {f.main.data(), f.pitch, packed ? width : f.rowSize, f.height};
  if (!packed) {
    view.planes[format.channels[1].plane] = {f.u.data(), f.chromaPitch, f.rowSize >> 1, f.height >> 1};
    view.planes[format.channels[2].plane] = {f.v.data(), f.chromaPitch, f.rowSize >> 1, f.height >> 1};
  }
  return view;
}

// Runs a plan for the clip size `planWidth` × height, capped at `cap`, on one frame.
void FilterThrough(const FilterArguments& a, const VideoFormat& format, int32_t planWidth, int32_t width,
                   int32_t height, InstructionSet cap, const TestFrame& src, TestFrame& dst,
                   const char* expectedKernels) {
  FilterPlan plan;
  ASSERT_EQ(plan.Init(a, format, planWidth, height, cap), PlanStatus::kOk);
  ASSERT_STREQ(plan.KernelName(), expectedKernels);
  ASSERT_TRUE(plan.Process(View(dst, format, width), View(src, format, width), kMemoryCopyPlane));
}

using PathAndMode = std::tuple<std::string, bool>;

class FastPathFrames : public ::testing::TestWithParam<PathAndMode> {};

TEST_P(FastPathFrames, EveryPixelTypeMatchesReference) {
  const auto& [name, force] = GetParam();
  const SampleKernels<uint8_t>* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  std::mt19937 rng(force ? 77 : 78);
  // Through a plan, a cap picks the best table at that level (at AVX-512, VNNI where the CPU has
  // it): each path runs as that table's part of the whole.
  const InstructionSet isa = FastPathVariant(name)->isa;
  kernels = KernelsForInstructionSet<uint8_t>(isa);
  for (int32_t round = 0; round < 60; ++round) {
    for (const VideoFormat& format : FiveLayouts()) {
      FilterArguments a = Arguments({{kForce, force},
                                     {kRad, 1 + static_cast<int32_t>(rng() % 8)},
                                     {kStr, 1 + static_cast<int32_t>(rng() % 8)},
                                     {kRy, rng() % 2 == 0},
                                     {kGu, rng() % 4 != 0},
                                     {kBv, rng() % 4 != 0}});
      for (Parameter l : {kPry, kPgu, kPbv, kNry, kNgu, kNbv}) a[l] = 1 + static_cast<int32_t>(rng() % 10);
      if (FirstArgumentError(a) != nullptr) a[kGu] = 1;
      // Sizes from below the window (such channels are copied) to a few hundred samples.
      int32_t width = 2 + static_cast<int32_t>(rng() % (round < 20 ? 24 : 300));
      const int32_t height = 2 + static_cast<int32_t>(rng() % (round < 20 ? 24 : 60));
      if (IsPacked(format) && format.family == ColourFamily::kYuv) width &= ~1;
      if (width < 2) width = 2;
      SCOPED_TRACE(::testing::Message() << format.name << " " << width << "x" << height << " rad " << a[kRad] << " str "
                                        << a[kStr] << " ry " << a[kRy] << " gu " << a[kGu] << " bv " << a[kBv]);
      const TestFrame src = MakeFrame(format, width, height, static_cast<int32_t>(rng() % 9), rng);
      TestFrame expected = MakeFrame(format, width, height, static_cast<int32_t>(rng() % 17), rng);
      TestFrame actual = expected;
      FilterThrough(a, format, width, width, height, InstructionSet::kScalar, src, expected, "reference");
      FilterThrough(a, format, width, width, height, isa, src, actual, kernels->name);
      ASSERT_EQ(expected.main, actual.main);
      ASSERT_EQ(expected.u, actual.u);
      ASSERT_EQ(expected.v, actual.v);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, FastPathFrames,
                         ::testing::Combine(::testing::ValuesIn(FastPathNames()), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<PathAndMode>& info) {
                           return std::get<0>(info.param) + (std::get<1>(info.param) ? "_box" : "_gaussian");
                         });
// A build whose architecture has no rung yet runs the reference alone: no paths to compare here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FastPathFrames);

}  // namespace
}  // namespace sorvan::testing

namespace sorvan::testing {
namespace {

// A frame wider than the clip the plan was made for (a host that lies about its frames) must
// not overrun the scratch: the box average takes the reference, which needs no row buffers, and
// the Gaussian, whose row-sum plane is too small, leaves the channel as the source had it.
TEST(FastPathFrames, FramesWiderThanThePlanNeverOverrunItsScratch) {
  const SampleKernels<uint8_t>* kernels = nullptr;
  for (const std::string& name : FastPathNames()) {
    if ((kernels = FastPath(name)) != nullptr) break;
  }
  if (kernels == nullptr) GTEST_SKIP() << "this CPU (or build) has no fast path";
  std::mt19937 rng(5);
  for (const bool force : {false, true}) {
    const FilterArguments a = Arguments({{kForce, force}, {kRy, 1}});
    const TestFrame src = MakeFrame(Rgb32(), 200, 40, 4, rng);
    TestFrame expected = MakeFrame(Rgb32(), 200, 40, 0, rng);
    TestFrame actual = expected;
    FilterThrough(a, Rgb32(), 200, 200, 40, InstructionSet::kScalar, src, expected, "reference");
    FilterPlan narrow;
    ASSERT_EQ(narrow.Init(a, Rgb32(), 99, 40), PlanStatus::kOk);
    ASSERT_TRUE(narrow.Process(View(actual, Rgb32(), 200), View(src, Rgb32(), 200), kMemoryCopyPlane));
    if (force) {
      EXPECT_EQ(expected.main, actual.main);
    } else {
      for (size_t y = 0; y < 40; ++y)
        for (size_t x = 0; x < 800; ++x) ASSERT_EQ(actual.main[y * actual.pitch + x], src.main[y * src.pitch + x]);
    }
  }
}

}  // namespace
}  // namespace sorvan::testing
