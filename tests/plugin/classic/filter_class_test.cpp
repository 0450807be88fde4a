// The Sorvan filter class itself, made by the creation callback in this process, so that what it
// built can be looked at.
#include <gtest/gtest.h>

#include "hosts/frameserver/frame_server.h"
#include "hosts/frameserver/memory_clip.h"
#include "plugin/classic/create_sorvan.h"
#include "plugin/classic/sorvan_filter.h"

namespace sorvan {
namespace {

using frameserver::MakeVideoInfo;
using frameserver::MemoryClip;

// Calls CreateSorvan as the host would: one element per declared parameter, void when left out.
PClip Create(frameserver::FrameServer& server, const PClip& source, bool ry, bool force, int rad = 5) {
  const AVSValue args[13] = {source,     AVSValue(rad),   AVSValue(), AVSValue(ry), AVSValue(),
                             AVSValue(), AVSValue(force), AVSValue(), AVSValue(),   AVSValue(),
                             AVSValue(), AVSValue(),      AVSValue()};
  const AVSValue result = CreateSorvan(AVSValue(args, 13), nullptr, &server);
  return result.AsClip();
}

const Sorvan& AsSorvan(const PClip& clip) { return *static_cast<const Sorvan*>(clip.get()); }

struct ScratchCase {
  int pixelType;
  int width, height;
  bool ry;
  size_t entries;
};

void PrintTo(const ScratchCase& c, std::ostream* os) {
  *os << std::hex << c.pixelType << std::dec << " " << c.width << "x" << c.height << (c.ry ? " ry" : "");
}

class ScratchSize : public ::testing::TestWithParam<ScratchCase> {};

// The scratch plane holds the largest plane the Gaussian average smooths; no box table exists.
TEST_P(ScratchSize, FollowsTheSizeRule) {
  const ScratchCase c = GetParam();
  frameserver::FrameServer server;
  const PClip source =
      MemoryClip::FromGenerator(MakeVideoInfo(c.pixelType, c.width, c.height, 1), [](int, std::span<uint8_t>) {});
  const PClip filter = Create(server, source, c.ry, false);
  const Sorvan& sorvan = AsSorvan(filter);
  EXPECT_EQ(sorvan.Plan().ScratchPlaneEntries(), c.entries);
  EXPECT_EQ(filter->RefCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScratchSize,
    ::testing::Values(ScratchCase{CS_BGR32, 640, 480, false, 307200}, ScratchCase{CS_BGR32, 640, 480, true, 307200},
                      ScratchCase{CS_BGR24, 640, 480, false, 307200}, ScratchCase{CS_YUY2, 720, 480, false, 172800},
                      ScratchCase{CS_YUY2, 720, 480, true, 345600}, ScratchCase{CS_YV12, 720, 576, false, 103680},
                      ScratchCase{CS_YV12, 720, 576, true, 414720}, ScratchCase{CS_I420, 721, 577, false, 361 * 289}));

class BoxMode : public ::testing::TestWithParam<int> {};

// force builds the box offset table alone: no weights, no scratch plane.
TEST_P(BoxMode, BuildsOnlyTheBoxTable) {
  const int rad = GetParam();
  frameserver::FrameServer server;
  const PClip source = MemoryClip::FromGenerator(MakeVideoInfo(CS_YV12, 720, 576, 1), [](int, std::span<uint8_t>) {});
  const PClip filter = Create(server, source, true, true, rad);
  const Sorvan& sorvan = AsSorvan(filter);
  EXPECT_EQ(sorvan.Plan().ScratchPlaneEntries(), 0u);
  EXPECT_EQ(sorvan.Plan().Arguments()[kRad], rad);
}

INSTANTIATE_TEST_SUITE_P(Radii, BoxMode, ::testing::Values(1, 5, 8));

TEST(FilterObject, HoldsTheChildUntilDestroyed) {
  frameserver::FrameServer server;
  const PClip source = MemoryClip::FromGenerator(MakeVideoInfo(CS_YUY2, 64, 8, 1), [](int, std::span<uint8_t>) {});
  {
    const PClip filter = Create(server, source, false, false);
    EXPECT_EQ(source->RefCount(), 2);
    const Sorvan& sorvan = AsSorvan(filter);
    // The twelve values as the callback passed them.
    const FilterArguments& a = sorvan.Plan().Arguments();
    EXPECT_EQ(a[kRad], 5);
    EXPECT_EQ(a[kStr], 4);
    EXPECT_FALSE(a.Flag(kRy));
    EXPECT_TRUE(a.Flag(kGu));
    EXPECT_TRUE(a.Flag(kBv));
    EXPECT_EQ(a[kPgu], 1);
    EXPECT_EQ(a[kNgu], 4);
    EXPECT_EQ(a[kPbv], 3);
    EXPECT_EQ(a[kNbv], 6);
  }
  EXPECT_EQ(source->RefCount(), 1);
}

}  // namespace
}  // namespace sorvan
