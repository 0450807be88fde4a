// Whole B-bit frames through the plan at every instruction-set level this CPU has, against the
// same plan capped to the reference: planar with and without subsampling and alpha, packed
// 16-bit RGB with and without alpha, odd sizes and padded rows. Every byte must agree.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/filter_plan.h"

namespace sorvan::testing {
namespace {

struct OwnedFrame {
  std::vector<std::vector<uint16_t>> planes;
  std::vector<int32_t> pitches, widths, heights;
};

OwnedFrame MakeFrame(const VideoFormat& f, int32_t width, int32_t height, int32_t bits, std::mt19937& rng) {
  OwnedFrame frame;
  for (int32_t p = 0; p < f.planeCount; ++p) {
    const int32_t rowWords = static_cast<int32_t>(PlaneRowBytes(f, p, width) / 2);
    const int32_t pitchWords = rowWords + static_cast<int32_t>(rng() % 9);
    const int32_t h = PlaneHeight(f, p, height);
    std::vector<uint16_t> words(static_cast<size_t>(pitchWords) * h);
    const int32_t level = static_cast<int32_t>(rng() % (1u << bits));
    for (size_t i = 0; i < words.size(); ++i) {
      // A ramp with noise of a few 8-bit levels, so both branches of the merge occur.
      const int32_t v = level + static_cast<int32_t>(i % 97) * (1 << (bits - 8)) / 8 +
                        static_cast<int32_t>(rng() % (8u << (bits - 8)));
      words[i] = static_cast<uint16_t>(v & ((1 << bits) - 1));
    }
    frame.planes.push_back(std::move(words));
    frame.pitches.push_back(pitchWords * 2);
    frame.widths.push_back(PlaneWidth(f, p, width));
    frame.heights.push_back(h);
  }
  return frame;
}

std::vector<std::vector<uint16_t>> Filter(const FilterArguments& arguments, const VideoFormat& format,
                                          const OwnedFrame& src, int32_t width, int32_t height, InstructionSet cap,
                                          std::string* kernelName) {
  FilterPlan plan;
  EXPECT_EQ(plan.Init(arguments, format, width, height, cap), PlanStatus::kOk);
  *kernelName = plan.KernelName();
  OwnedFrame dst = src;
  for (auto& plane : dst.planes) std::fill(plane.begin(), plane.end(), uint16_t{0xBEEF});
  FrameView d{};
  SourceFrameView s{};
  for (int32_t p = 0; p < format.planeCount; ++p) {
    d.planes[p] = {reinterpret_cast<uint8_t*>(dst.planes[p].data()), dst.pitches[p], dst.widths[p], dst.heights[p]};
    s.planes[p] = {reinterpret_cast<const uint8_t*>(src.planes[p].data()), src.pitches[p], src.widths[p],
                   src.heights[p]};
  }
  EXPECT_TRUE(plan.Process(d, s, kMemoryCopyPlane));
  return dst.planes;
}

// Every level above the reference that this build has.
std::vector<InstructionSet> FastLevels() {
  InstructionSet levels[kMaxInstructionSets];
  const int32_t count = ListInstructionSets(levels, kMaxInstructionSets);
  return std::vector<InstructionSet>(levels + 1, levels + count);
}

class DepthPlan : public ::testing::TestWithParam<InstructionSet> {};

TEST_P(DepthPlan, EveryLayoutAndDepthMatchesTheReferenceByteForByte) {
  const InstructionSet level = GetParam();
  if (SupportedInstructionSet() < level || EnvironmentInstructionSetCap() < level) {
    GTEST_SKIP() << "this CPU (or SORVAN_MAX_ISA) does not allow " << InstructionSetName(level);
  }
  uint32_t rung = 0;  // the level's place on the ladder, which seeds its frames
  while (FastLevels()[rung] != level) ++rung;
  std::mt19937 rng(32 + rung);
  struct Layout {
    const char* name;
    VideoFormat format;
  };
  for (int32_t bits : {9, 10, 12, 14, 16}) {
    const Layout layouts[] = {
        {"yuv420", PlanarFormat({ColourFamily::kYuv, SampleType::kInteger, bits, 1, 1, false, {0, 1, 2}})},
        {"yuv422a", PlanarFormat({ColourFamily::kYuv, SampleType::kInteger, bits, 1, 0, true, {0, 2, 1}})},
        {"gbr444", PlanarFormat({ColourFamily::kRgb, SampleType::kInteger, bits, 0, 0, false, {1, 0, 2}})},
        {"bgr48", PackedFormat(PackedLayout::kBgr48)},
        {"bgra64", PackedFormat(PackedLayout::kBgra64)},
    };
    for (const Layout& layout : layouts) {
      const int32_t depth = layout.format.bitsPerSample;
      if (layout.format.planeCount == 1 && bits != 16) continue;  // packed RGB is 16-bit only
      const int32_t width = 17 + static_cast<int32_t>(rng() % 90);
      const int32_t height = 17 + static_cast<int32_t>(rng() % 40);
      FilterArguments a = DefaultArguments();
      a[kRad] = 1 + static_cast<int32_t>(rng() % 8);
      a[kStr] = 1 + static_cast<int32_t>(rng() % 8);
      a[kForce] = static_cast<int32_t>(rng() % 3 == 0);
      a[kRy] = 1;
      a[kPry] = 1 + static_cast<int32_t>(rng() % 10);
      a[kNgu] = 1 + static_cast<int32_t>(rng() % 10);
      const OwnedFrame src = MakeFrame(layout.format, width, height, depth, rng);
      std::string fastName, referenceName;
      const auto fast = Filter(a, layout.format, src, width, height, level, &fastName);
      const auto reference = Filter(a, layout.format, src, width, height, InstructionSet::kScalar, &referenceName);
      SCOPED_TRACE(std::string(layout.name) + " " + std::to_string(depth) + " bits, " + std::to_string(width) + "x" +
                   std::to_string(height) + ", rad " + std::to_string(a[kRad]) + (a[kForce] ? " box" : " gaussian"));
      EXPECT_EQ(referenceName, "reference");
      if (level != InstructionSet::kScalar) {
        EXPECT_NE(fastName, "reference");
      }
      EXPECT_EQ(fast, reference);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, DepthPlan, ::testing::ValuesIn(FastLevels()),
                         [](const auto& info) { return std::string(InstructionSetName(info.param)); });

}  // namespace
}  // namespace sorvan::testing
