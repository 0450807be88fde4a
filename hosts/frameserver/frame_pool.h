// The frame server's frames and buffers. Frames follow the interface's counting rules: holders
// count a frame, and the last holder of a frame drops its hold on the buffer; nobody frees
// either. A frame or buffer whose count is 0 is free, and the pool hands it out again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "plugin/classic/classic_interface.h"

namespace sorvan::frameserver {

// Where each plane of a new frame lies in its buffer.
struct FrameGeometry {
  int offset, pitch, rowSize, height;
  int offsetU, offsetV, pitchUV;
  int dataSize;
};

// Pitches are the row size rounded up to `align` after adding `padding` bytes, so every row has
// at least `padding` spare bytes. Planes start on 64-byte boundaries, in storage order (YV12:
// Y, V, U; I420: Y, U, V). Throws ScriptError for a pixel type of no known layout or a frame
// too large for the interface's int sizes.
FrameGeometry ComputeFrameGeometry(const VideoInfo& vi, int align, int padding);

class FramePool {
 public:
  FramePool() = default;
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;
  ~FramePool();

  // A frame with the given geometry over a buffer nobody else holds. `fill` >= 0 sets every byte.
  PVideoFrame NewFrame(const FrameGeometry& geometry, int fill);
  // A frame over the same buffer as `frame`, with other plane fields; holds the buffer once more.
  PVideoFrame NewView(const VideoFrame& frame, const FrameGeometry& geometry);

  size_t FramesAllocated() const;
  size_t FramesInUse() const;

 private:
  struct Buffer {
    VideoFrameBuffer vfb;
    uint8_t* memory;
  };
  Buffer* FreeBuffer(int dataSize);
  VideoFrame* FreeFrame();

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::vector<std::unique_ptr<VideoFrame>> frames_;
};

}  // namespace sorvan::frameserver
