// Whole frames through ProcessFrame: each fast path against the reference for all five pixel
// types, both modes, random switches, limits, rad and str, frame sizes from below the window
// upward, and destination pitches that differ from the source's.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "plugin/classic/pixel_type.h"
#include "core/process_frame.h"
#include "fast_path_support.h"

namespace sorvan::testing {
namespace {

struct TestFrame {
  std::vector<uint8_t> main, u, v;
  int32_t pitch = 0;
  int32_t chromaPitch = 0;
  int32_t rowSize = 0;
  int32_t height = 0;
};

TestFrame MakeFrame(int32_t type, int32_t width, int32_t height, int32_t extra, std::mt19937& rng) {
  TestFrame f;
  f.rowSize = width * (BitsPerPixel(type) >> 3);
  if ((type & CS_PLANAR) != 0) f.rowSize = width;
  f.height = height;
  f.pitch = f.rowSize + extra;
  f.main.resize(static_cast<size_t>(f.pitch) * height);
  for (auto& b : f.main) b = static_cast<uint8_t>(rng());
  if ((type & CS_PLANAR) != 0) {
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

FramePlanes Planes(TestFrame& f) {
  return {f.main.data(), f.pitch, f.rowSize, f.height, f.u.empty() ? nullptr : f.u.data(),
          f.v.empty() ? nullptr : f.v.data(), f.chromaPitch};
}

SourceFramePlanes SourcePlanes(const TestFrame& f) {
  return {f.main.data(), f.pitch, f.rowSize, f.height, f.u.empty() ? nullptr : f.u.data(),
          f.v.empty() ? nullptr : f.v.data(), f.chromaPitch};
}

using PathAndMode = std::tuple<std::string, bool>;

class FastPathFrames : public ::testing::TestWithParam<PathAndMode> {};

TEST_P(FastPathFrames, EveryPixelTypeMatchesReference) {
  const auto& [name, force] = GetParam();
  const ChannelKernels* kernels = nullptr;
  SORVAN_REQUIRE_FAST_PATH(name, kernels);
  std::mt19937 rng(force ? 77 : 78);
  const int32_t types[] = {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420};
  const CopyPlane copyPlane = {&CopyPlaneRows, nullptr};
  for (int32_t round = 0; round < 60; ++round) {
    for (const int32_t type : types) {
      FilterSettings reference;
      reference.force = force;
      reference.rad = 1 + static_cast<int32_t>(rng() % 8);
      reference.str = 1 + static_cast<int32_t>(rng() % 8);
      reference.ry = rng() % 2 == 0;
      reference.gu = rng() % 4 != 0;
      reference.bv = rng() % 4 != 0;
      int32_t* limits[] = {&reference.pry, &reference.pgu, &reference.pbv,
                           &reference.nry, &reference.ngu, &reference.nbv};
      for (int32_t* l : limits) *l = static_cast<int32_t>(rng() % 11);
      // Sizes from below the window (such channels are copied) to a few hundred samples.
      int32_t width = 2 + static_cast<int32_t>(rng() % (round < 20 ? 24 : 300));
      const int32_t height = 2 + static_cast<int32_t>(rng() % (round < 20 ? 24 : 60));
      if (type == CS_YUY2) width &= ~1;
      if (width < 2) width = 2;
      SCOPED_TRACE(::testing::Message() << "type 0x" << std::hex << type << std::dec << " " << width << "x" << height
                                        << " rad " << reference.rad << " str " << reference.str << " ry "
                                        << reference.ry << " gu " << reference.gu << " bv " << reference.bv);
      reference.maxInstructionSet = InstructionSet::kScalar;
      ASSERT_TRUE(PrepareFilterTables(reference, type, width, height));
      ASSERT_EQ(reference.kernels, &ReferenceKernels());

      FilterSettings fast;
      fast.force = reference.force;
      fast.rad = reference.rad;
      fast.str = reference.str;
      fast.ry = reference.ry;
      fast.gu = reference.gu;
      fast.bv = reference.bv;
      fast.pry = reference.pry, fast.pgu = reference.pgu, fast.pbv = reference.pbv;
      fast.nry = reference.nry, fast.ngu = reference.ngu, fast.nbv = reference.nbv;
      ASSERT_TRUE(PrepareFilterTables(fast, type, width, height));
      // The path under test, whatever SORVAN_MAX_ISA says, with its workspace.
      fast.kernels = kernels;
      ASSERT_TRUE(fast.workspace.Allocate(KernelWorkspaceEntries(width)));

      const TestFrame src = MakeFrame(type, width, height, static_cast<int32_t>(rng() % 9), rng);
      TestFrame expected = MakeFrame(type, width, height, static_cast<int32_t>(rng() % 17), rng);
      TestFrame actual = expected;
      const ClipGeometry clip = {width, height, type};
      ProcessFrame(clip, reference, Planes(expected), SourcePlanes(src), copyPlane);
      ProcessFrame(clip, fast, Planes(actual), SourcePlanes(src), copyPlane);
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

}  // namespace
}  // namespace sorvan::testing

namespace sorvan::testing {
namespace {

// Settings whose workspace was sized for a narrower clip than the frame (or not at all) must
// not let a fast path overrun it: the frame processor falls back to the reference.
TEST(FastPathFrames, WorkspaceTooSmallFallsBackToTheReference) {
  const ChannelKernels* kernels = nullptr;
  for (const std::string& name : FastPathNames()) {
    if ((kernels = FastPath(name)) != nullptr) break;
  }
  if (kernels == nullptr) GTEST_SKIP() << "this CPU (or build) has no fast path";
  std::mt19937 rng(5);
  const CopyPlane copyPlane = {&CopyPlaneRows, nullptr};
  for (const bool force : {false, true}) {
    for (const size_t entries : {size_t{0}, KernelWorkspaceEntries(99)}) {
      FilterSettings reference;
      reference.force = force;
      reference.ry = true;
      reference.maxInstructionSet = InstructionSet::kScalar;
      ASSERT_TRUE(PrepareFilterTables(reference, CS_BGR32, 200, 40));
      FilterSettings small;
      small.force = force;
      small.ry = true;
      ASSERT_TRUE(PrepareFilterTables(small, CS_BGR32, 200, 40));
      small.kernels = kernels;
      ASSERT_TRUE(small.workspace.Allocate(entries));
      const TestFrame src = MakeFrame(CS_BGR32, 200, 40, 4, rng);
      TestFrame expected = MakeFrame(CS_BGR32, 200, 40, 0, rng);
      TestFrame actual = expected;
      ProcessFrame({200, 40, CS_BGR32}, reference, Planes(expected), SourcePlanes(src), copyPlane);
      ProcessFrame({200, 40, CS_BGR32}, small, Planes(actual), SourcePlanes(src), copyPlane);
      EXPECT_EQ(expected.main, actual.main) << "force " << force << ", workspace " << entries;
    }
  }
}

}  // namespace
}  // namespace sorvan::testing
