#include "cli/sample_clip.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sorvan::cli {
namespace {

TEST(ChromaRoughness, FlatChromaIsZeroAndAlternatingChromaIsItsStep) {
  std::vector<uint8_t> frame(8 * 4 + 2 * 4 * 2, 100);  // 8x4: 32 luma, two 4x2 chroma planes
  EXPECT_DOUBLE_EQ(ChromaRoughness(frame.data(), 8, 4), 0.0);
  // A checkerboard of 100/110 in U and flat V: U's 10 horizontal + 4 vertical pairs all differ by 10.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) frame[32 + y * 4 + x] = ((x + y) % 2) ? 110 : 100;
  // 14 neighbour pairs per plane: U contributes 14 * 10, V nothing.
  EXPECT_DOUBLE_EQ(ChromaRoughness(frame.data(), 8, 4), 140.0 / 28.0);
}

TEST(SampleClip, IsDeterministicMovesAndHasChromaNoise) {
  const auto a = MakeSampleFrame(64, 36, 5);
  const auto b = MakeSampleFrame(64, 36, 5);
  const auto c = MakeSampleFrame(64, 36, 6);
  ASSERT_EQ(a.size(), 64u * 36 * 3 / 2);
  EXPECT_EQ(a, b);
  EXPECT_FALSE(std::equal(a.begin(), a.begin() + 64 * 36, c.begin())) << "the shapes do not move";
  // Noise of +-3 between neighbours averages well above 1 level.
  EXPECT_GT(ChromaRoughness(a.data(), 64, 36), 1.0);
}

}  // namespace
}  // namespace sorvan::cli
