// Frame-parallel serving: the node's declared mode and dependency, many threads asking one
// filter at once, failures while frames are made, and the slots a 4.0 plug-in may call.
#include <algorithm>
#include <numeric>

#include "tests/plugin/vapoursynth/vapoursynth_harness.h"

namespace sorvan::vapoursynth_test {
namespace {

TEST_F(VapourSynthPluginTest, DeclaresAFullyParallelStrictlySpatialFilter) {
  NodePtr source = Source(pfYUV420P8, 32, 24);
  NodePtr filter = Filter(source.get(), {});
  const vshost::NodeDescription d = host_.Describe(filter.get());
  EXPECT_EQ(d.name, "Sorvan");
  EXPECT_EQ(d.filterMode, fmParallel);
  ASSERT_EQ(d.sources.size(), 1u);
  EXPECT_EQ(d.sources[0], source.get());
  EXPECT_EQ(d.requestPatterns[0], rpStrictSpatial);
}

// Many threads on one filter give the frames one thread gives, whatever the order.
TEST_F(VapourSynthPluginTest, ParallelRequestsEqualSerialOnes) {
  for (uint32_t id : {pfYUV420P8, pfRGB48, pfGrayS}) {
    NodePtr source = Source(id, 96, 64, 24, 3);
    NodePtr filter = Filter(source.get(), {{"ry", 1}, {"rad", 4}});
    std::vector<std::vector<std::vector<uint8_t>>> serial;
    for (int n = 0; n < 24; ++n) serial.push_back(AllPlanes(Frame(filter.get(), n).get()));

    std::vector<int> order(48);
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>((i * 7) % 24);  // each frame twice
    const auto results = host_.GetFramesConcurrently(filter.get(), order, 6);
    for (size_t i = 0; i < order.size(); ++i) {
      ASSERT_TRUE(results[i].frame) << results[i].error;
      EXPECT_EQ(AllPlanes(results[i].frame.get()), serial[static_cast<size_t>(order[i])]) << "frame " << order[i];
    }
  }
}

// A failing input reaches the caller as the request's error, with nothing held.
TEST_F(VapourSynthPluginTest, PassesAnInputsFailureOn) {
  NodePtr failing = host_.SourceClip(ClipInfo(pfYUV420P8, 32, 24), [](int n, VSFrame*) {
    if (n == 1) throw vshost::HostError("source: frame 1 is damaged");
  });
  NodePtr filter = Filter(failing.get(), {});
  std::string error;
  EXPECT_FALSE(host_.GetFrame(filter.get(), 1, &error));
  EXPECT_EQ(error, "source: frame 1 is damaged");
  EXPECT_TRUE(Frame(filter.get(), 0));
}

// An input frame that breaks its clip's declaration is a frame error, not a crash.
TEST_F(VapourSynthPluginTest, RefusesASourceFrameOfAnotherSize) {
  const VSVideoInfo vi = ClipInfo(pfYUV444P8, 32, 24);
  NodePtr lying = host_.RawSourceClip(
      vi, [vi](int n) { return vshost::NewFrame(vi.format, n == 2 ? 16 : vi.width, vi.height, nullptr); });
  NodePtr filter = Filter(lying.get(), {});
  std::string error;
  EXPECT_FALSE(host_.GetFrame(filter.get(), 2, &error));
  EXPECT_EQ(error, "Sorvan: a source frame has another format or size than its clip declares");
  EXPECT_TRUE(Frame(filter.get(), 0));
}

// Creation and frames of every kind touch only API 4.0 slots (traps count anything else).
TEST_F(VapourSynthPluginTest, CallsNoSlotBeyondApi40) {
  NodePtr source = Source(pfYUV420P16, 32, 24);
  Refusal(Call(source.get(), {{"rad", 0}}));
  NodePtr gray = Source(pfGrayH, 16, 16);
  Refusal(Call(gray.get(), {}));
  NodePtr filter = Filter(source.get(), {{"ry", 1}});
  host_.GetFramesConcurrently(filter.get(), {0, 1, 2, 3}, 2);
  const std::vector<int> slots = host_.SlotsCalled();
  ASSERT_FALSE(slots.empty());
  EXPECT_LT(slots.back(), kVsApi40Slots);
}

}  // namespace
}  // namespace sorvan::vapoursynth_test
