#include "hosts/frameserver/memory_clip.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "hosts/frameserver/frame_server.h"

namespace sorvan::frameserver {
namespace {

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(n);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

class PackedRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(PackedRoundTrip, FramesComeBackAsTheyWentIn) {
  const VideoInfo vi = MakeVideoInfo(GetParam(), 22, 6, 2);
  std::vector<std::vector<uint8_t>> frames = {RandomBytes(PackedFrameSize(vi), 1), RandomBytes(PackedFrameSize(vi), 2)};
  const auto expected = frames;
  FrameServer server;
  const PClip clip = MemoryClip::FromFrames(vi, std::move(frames));
  EXPECT_EQ(clip->GetVideoInfo().num_frames, 2);
  EXPECT_EQ(ReadPacked(clip->GetFrame(0, &server), vi), expected[0]);
  EXPECT_EQ(ReadPacked(clip->GetFrame(1, &server), vi), expected[1]);
  // Out-of-range numbers are clamped to the ends.
  EXPECT_EQ(ReadPacked(clip->GetFrame(-3, &server), vi), expected[0]);
  EXPECT_EQ(ReadPacked(clip->GetFrame(9, &server), vi), expected[1]);
  std::vector<uint8_t> reused(PackedFrameSize(vi));
  ReadPacked(clip->GetFrame(0, &server), vi, reused);
  EXPECT_EQ(reused, expected[0]);
  reused.push_back(0);
  EXPECT_THROW(ReadPacked(clip->GetFrame(0, &server), vi, reused), ScriptError);
}

INSTANTIATE_TEST_SUITE_P(FiveTypes, PackedRoundTrip, ::testing::Values(CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420),
                         [](const auto& info) { return "type" + std::to_string(info.index); });

TEST(PackedLayout, PlanesInStorageOrder) {
  const auto yv12 = PackedPlanes(MakeVideoInfo(CS_YV12, 8, 6, 1));
  ASSERT_EQ(yv12.size(), 3u);
  EXPECT_EQ(yv12[1].plane, PLANAR_V);
  EXPECT_EQ(yv12[2].plane, PLANAR_U);
  EXPECT_EQ(yv12[1].rowSize, 4);
  EXPECT_EQ(yv12[1].height, 3);
  EXPECT_EQ(PackedFrameSize(MakeVideoInfo(CS_I420, 8, 6, 1)), 48u + 12u + 12u);
  EXPECT_EQ(PackedFrameSize(MakeVideoInfo(CS_BGR24, 5, 3, 1)), 45u);
  EXPECT_EQ(PackedFrameSize(MakeVideoInfo(CS_YUY2, 6, 2, 1)), 24u);
}

// The frame's own plane accessors see the U and V planes where the packed layout put them.
TEST(PackedLayout, ChromaPlanesLandInTheirPlanes) {
  const VideoInfo vi = MakeVideoInfo(CS_YV12, 4, 2, 1);
  std::vector<uint8_t> packed = {1, 1, 1, 1, 1, 1, 1, 1, /*V*/ 7, 7, /*U*/ 5, 5};
  FrameServer server;
  const PClip clip = MemoryClip::FromFrames(vi, {packed});
  const PVideoFrame frame = clip->GetFrame(0, &server);
  EXPECT_EQ(frame->GetReadPtr(PLANAR_U)[0], 5);
  EXPECT_EQ(frame->GetReadPtr(PLANAR_V)[1], 7);
}

TEST(MemoryClipTest, WrongBufferSizeIsRefused) {
  const VideoInfo vi = MakeVideoInfo(CS_BGR24, 4, 4, 1);
  EXPECT_THROW(MemoryClip::FromFrames(vi, {std::vector<uint8_t>(47)}), ScriptError);
}

TEST(MemoryClipTest, GeneratorParityAndAudioCallbacks) {
  VideoInfo vi = MakeVideoInfo(CS_YUY2, 8, 2, 10);
  vi.audio_samples_per_second = 48000;
  vi.sample_type = 2;
  vi.nchannels = 2;
  std::vector<int> asked;
  const PClip clip = MemoryClip::FromGenerator(
      vi,
      [&](int n, std::span<uint8_t> packed) {
        asked.push_back(n);
        std::fill(packed.begin(), packed.end(), static_cast<uint8_t>(n));
      },
      [](int n) { return n % 3 == 0; },
      [](void* buf, int64_t start, int64_t count) {
        auto* samples = static_cast<int16_t*>(buf);
        for (int64_t i = 0; i < count * 2; ++i) samples[i] = static_cast<int16_t>(start + i);
      });
  FrameServer server;
  EXPECT_EQ(ReadPacked(clip->GetFrame(4, &server), vi), std::vector<uint8_t>(32, 4));
  EXPECT_EQ(asked, std::vector<int>{4});
  EXPECT_TRUE(clip->GetParity(6));
  EXPECT_FALSE(clip->GetParity(7));
  int16_t audio[6] = {};
  clip->GetAudio(audio, 100, 3, &server);
  EXPECT_EQ(audio[0], 100);
  EXPECT_EQ(audio[5], 105);
}

TEST(MemoryClipTest, WithoutAudioFunctionGivesSilence) {
  VideoInfo vi = MakeVideoInfo(CS_YUY2, 8, 2, 1);
  vi.sample_type = 4;  // 24-bit
  vi.nchannels = 2;
  const PClip clip = MemoryClip::FromFrames(vi, {std::vector<uint8_t>(32)});
  std::vector<uint8_t> audio(4 * 6 + 1, 0xCC);
  FrameServer server;
  clip->GetAudio(audio.data(), 0, 4, &server);
  EXPECT_EQ(std::accumulate(audio.begin(), audio.end() - 1, 0), 0);
  EXPECT_EQ(audio.back(), 0xCC);
}

}  // namespace
}  // namespace sorvan::frameserver
