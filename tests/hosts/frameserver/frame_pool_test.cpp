#include "hosts/frameserver/frame_pool.h"

#include <gtest/gtest.h>

#include <thread>

#include "hosts/frameserver/frame_server.h"
#include "hosts/frameserver/memory_clip.h"

namespace sorvan::frameserver {
namespace {

struct Format {
  int pixelType;
  int width, height;
};

void PrintTo(const Format& f, std::ostream* os) {
  *os << std::hex << f.pixelType << std::dec << " " << f.width << "x" << f.height;
}

class NewFrameLayout : public ::testing::TestWithParam<Format> {};

// Planes are aligned, padded, inside the buffer and disjoint.
TEST_P(NewFrameLayout, PlanesAreAlignedPaddedAndDisjoint) {
  const Format f = GetParam();
  const VideoInfo vi = MakeVideoInfo(f.pixelType, f.width, f.height, 1);
  FrameServer server;
  server.SetRowPadding(8);
  for (int align : {16, 32}) {
    const PVideoFrame frame = server.NewVideoFrame(vi, align);
    struct Extent {
      int begin, end;
    };
    std::vector<Extent> extents;
    for (const PackedPlane& p : PackedPlanes(vi)) {
      const int pitch = frame->GetPitch(p.plane);
      EXPECT_EQ(frame->GetRowSize(p.plane), p.rowSize);
      EXPECT_EQ(frame->GetHeight(p.plane), p.height);
      EXPECT_EQ(pitch % align, 0);
      EXPECT_GE(pitch, p.rowSize + 8);
      const int begin = static_cast<int>(frame->GetReadPtr(p.plane) - frame->vfb->data);
      EXPECT_EQ(begin % 64, 0);
      extents.push_back({begin, begin + pitch * p.height});
      EXPECT_LE(extents.back().end, frame->vfb->data_size);
    }
    for (size_t i = 0; i < extents.size(); ++i) {
      for (size_t j = i + 1; j < extents.size(); ++j) {
        EXPECT_TRUE(extents[i].end <= extents[j].begin || extents[j].end <= extents[i].begin);
      }
    }
    if (!vi.IsPlanar()) {
      EXPECT_EQ(frame->pitchUV, 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FiveTypes, NewFrameLayout,
                         ::testing::Values(Format{CS_BGR24, 33, 7}, Format{CS_BGR32, 20, 5}, Format{CS_YUY2, 30, 9},
                                           Format{CS_YV12, 34, 10}, Format{CS_I420, 36, 12}),
                         [](const auto& info) { return "type" + std::to_string(info.index); });

TEST(NewFrameLayout, YV12StoresVBeforeUAndI420UBeforeV) {
  FrameServer server;
  const PVideoFrame yv12 = server.NewVideoFrame(MakeVideoInfo(CS_YV12, 16, 16, 1));
  const PVideoFrame i420 = server.NewVideoFrame(MakeVideoInfo(CS_I420, 16, 16, 1));
  EXPECT_LT(yv12->offsetV, yv12->offsetU);
  EXPECT_LT(i420->offsetU, i420->offsetV);
}

TEST(NewFrameLayout, UnknownPixelTypeIsRefused) {
  FrameServer server;
  EXPECT_THROW(server.NewVideoFrame(MakeVideoInfo(static_cast<int>(0xA000000Bu), 16, 16, 1)), ScriptError);
}

TEST(FrameCounts, AFreshFrameIsWritableUntilShared) {
  FrameServer server;
  const VideoInfo vi = MakeVideoInfo(CS_BGR32, 8, 8, 1);
  PVideoFrame frame = server.NewVideoFrame(vi);
  EXPECT_TRUE(frame->IsWritable());
  const long sequence = frame->vfb->sequence_number;
  EXPECT_NE(frame->GetWritePtr(), nullptr);
  EXPECT_EQ(frame->vfb->sequence_number, sequence + 1);
  {
    const PVideoFrame second = frame;
    EXPECT_EQ(frame->refcount, 2);
    EXPECT_FALSE(frame->IsWritable());
    EXPECT_EQ(frame->GetWritePtr(), nullptr);
    EXPECT_EQ(frame->vfb->sequence_number, sequence + 1);
    // Chroma write pointers have no condition (none here, but the address is given).
    EXPECT_EQ(frame->GetWritePtr(PLANAR_U), frame->vfb->data + frame->offsetU);
  }
  EXPECT_TRUE(frame->IsWritable());
  {
    // A second view of the buffer makes neither view writable.
    const PVideoFrame view = server.Subframe(frame, 0, frame->pitch, frame->row_size, 4);
    EXPECT_EQ(frame->vfb->refcount, 2);
    EXPECT_FALSE(frame->IsWritable());
    PVideoFrame copy = view;
    EXPECT_TRUE(server.MakeWritable(&copy));
    EXPECT_TRUE(copy->IsWritable());
    EXPECT_NE(copy->vfb, frame->vfb);
    EXPECT_EQ(copy->height, 4);
  }
  EXPECT_EQ(frame->vfb->refcount, 1);
  EXPECT_FALSE(server.MakeWritable(&frame));
}

TEST(FrameCounts, DroppedFramesAreRecycled) {
  FrameServer server;
  const VideoInfo vi = MakeVideoInfo(CS_YV12, 32, 32, 1);
  const VideoFrame* first = nullptr;
  {
    const PVideoFrame frame = server.NewVideoFrame(vi);
    first = frame.get();
    EXPECT_EQ(server.PoolStats().framesInUse, 1u);
  }
  EXPECT_EQ(server.PoolStats().framesInUse, 0u);
  const PVideoFrame again = server.NewVideoFrame(vi);
  EXPECT_EQ(again.get(), first);
  EXPECT_EQ(again->refcount, 1);
  EXPECT_EQ(again->vfb->refcount, 1);
  EXPECT_EQ(server.PoolStats().framesAllocated, 1u);
}

TEST(FrameCounts, FillMarksEveryByteOfNewFrames) {
  FrameServer server;
  server.SetFrameFill(0xA5);
  const PVideoFrame frame = server.NewVideoFrame(MakeVideoInfo(CS_YUY2, 10, 3, 1));
  for (int i = 0; i < frame->vfb->data_size; ++i) ASSERT_EQ(frame->vfb->data[i], 0xA5) << i;
}

// Many threads taking and dropping frames: every frame handed out is writable and unshared.
TEST(FrameCounts, ConcurrentUseHandsEachFrameToOneHolder) {
  FrameServer server;
  const VideoInfo vi = MakeVideoInfo(CS_BGR24, 16, 16, 1);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        PVideoFrame frame = server.NewVideoFrame(vi);
        uint8_t* p = frame->GetWritePtr();
        if (p == nullptr) {
          ++failures;
          continue;
        }
        memset(p, t, static_cast<size_t>(frame->row_size));
        std::this_thread::yield();
        for (int x = 0; x < frame->row_size; ++x) failures += p[x] != t;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(server.PoolStats().framesInUse, 0u);
  EXPECT_LE(server.PoolStats().framesAllocated, 4u);
}

}  // namespace
}  // namespace sorvan::frameserver
