#include "cli/sample_clip.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/format_names.h"

namespace sorvan::cli {
namespace {

FrameFormat I420(int32_t w, int32_t h) { return {FindY4mColourSpace("420jpeg")->format, w, h}; }

TEST(ChromaRoughness, FlatChromaIsZeroAndAlternatingChromaIsItsStep) {
  std::vector<uint8_t> frame(8 * 4 + 2 * 4 * 2, 100);  // 8x4: 32 luma, two 4x2 chroma planes
  EXPECT_DOUBLE_EQ(ChromaRoughness(I420(8, 4), frame.data()), 0.0);
  // A checkerboard of 100/110 in U and flat V: U's 10 horizontal + 4 vertical pairs all differ by 10.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) frame[32 + y * 4 + x] = ((x + y) % 2) ? 110 : 100;
  // 14 neighbour pairs per plane: U contributes 14 * 10, V nothing.
  EXPECT_DOUBLE_EQ(ChromaRoughness(I420(8, 4), frame.data()), 140.0 / 28.0);
}

TEST(ChromaRoughness, IsInEightBitLevelsAtEveryDepth) {
  const auto frame = MakeSampleFrame(64, 36, 3);
  const double eight = ChromaRoughness(I420(64, 36), frame.data());
  for (const int bits : {10, 16}) {
    const FrameFormat deep{FindY4mColourSpace(("420p" + std::to_string(bits)).c_str())->format, 64, 36};
    const auto words = DeepenFrame(frame, bits);
    ASSERT_EQ(words.size(), FrameBytes(deep));
    EXPECT_DOUBLE_EQ(ChromaRoughness(deep, words.data()), eight) << bits;
  }
}

TEST(SampleClip, IsDeterministicMovesAndHasChromaNoise) {
  const auto a = MakeSampleFrame(64, 36, 5);
  const auto b = MakeSampleFrame(64, 36, 5);
  const auto c = MakeSampleFrame(64, 36, 6);
  ASSERT_EQ(a.size(), 64u * 36 * 3 / 2);
  EXPECT_EQ(a, b);
  EXPECT_FALSE(std::equal(a.begin(), a.begin() + 64 * 36, c.begin())) << "the shapes do not move";
  // Noise of +-3 between neighbours averages well above 1 level.
  EXPECT_GT(ChromaRoughness(I420(64, 36), a.data()), 1.0);
}

}  // namespace
}  // namespace sorvan::cli
