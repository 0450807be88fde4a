#include "hosts/frameserver/frame_pool.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hosts/frameserver/frame_server.h"
#include "hosts/frameserver/memory_clip.h"

namespace sorvan::frameserver {
namespace {

constexpr int64_t kPlaneAlignment = 64;

int64_t AlignUp(int64_t value, int64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

int CheckedInt(int64_t value) {
  if (value < 0 || value > INT_MAX) throw ScriptError("NewVideoFrame: frame too large");
  return static_cast<int>(value);
}

}  // namespace

FrameGeometry ComputeFrameGeometry(const VideoInfo& vi, int align, int padding) {
  if (vi.BitsPerPixel() == 0) {
    throw ScriptError("NewVideoFrame: pixel type 0x" + [&] {
      char text[16];
      snprintf(text, sizeof text, "%08X", static_cast<unsigned>(vi.pixel_type));
      return std::string(text);
    }() + " has no frame layout");
  }
  if (vi.width < 0 || vi.height < 0) throw ScriptError("NewVideoFrame: negative frame size");
  const int64_t a = align > 0 ? align : FRAME_ALIGN;
  const int64_t pad = padding > 0 ? padding : 0;
  const int64_t rowSize = static_cast<int64_t>(vi.width) * (vi.IsPlanar() ? 1 : vi.BitsPerPixel() / 8);
  const int64_t pitch = AlignUp(rowSize + pad, a);
  FrameGeometry g{};
  g.offset = 0;
  g.pitch = CheckedInt(pitch);
  g.rowSize = CheckedInt(rowSize);
  g.height = vi.height;
  int64_t size = AlignUp(pitch * vi.height, kPlaneAlignment);
  if (vi.IsPlanar()) {
    const int64_t pitchUV = AlignUp((rowSize >> 1) + pad, a);
    const int64_t chromaSize = AlignUp(pitchUV * (vi.height >> 1), kPlaneAlignment);
    const int64_t second = size;
    const int64_t third = size + chromaSize;
    const bool vFirst = StoresVBeforeU(vi);
    g.offsetU = CheckedInt(vFirst ? third : second);
    g.offsetV = CheckedInt(vFirst ? second : third);
    g.pitchUV = CheckedInt(pitchUV);
    size = third + chromaSize;
  }
  g.dataSize = CheckedInt(size);
  return g;
}

FramePool::~FramePool() {
  for (const auto& buffer : buffers_) free(buffer->memory);
}

FramePool::Buffer* FramePool::FreeBuffer(int dataSize) {
  Buffer* found = nullptr;
  for (const auto& buffer : buffers_) {
    if (host_detail::AtomicLoad(&buffer->vfb.refcount) != 0) continue;
    if (buffer->vfb.data_size == dataSize) {
      found = buffer.get();
      break;
    }
  }
  if (found == nullptr) {
    // Idle buffers of other sizes would only pile up; give their memory back first.
    std::erase_if(buffers_, [](const std::unique_ptr<Buffer>& buffer) {
      if (host_detail::AtomicLoad(&buffer->vfb.refcount) != 0) return false;
      free(buffer->memory);
      return true;
    });
    // At least one byte, so that even an empty frame has a distinct, valid address.
    const size_t bytes = static_cast<size_t>(AlignUp(dataSize > 0 ? dataSize : 1, kPlaneAlignment));
    auto buffer = std::make_unique<Buffer>();
    buffer->memory = static_cast<uint8_t*>(std::aligned_alloc(kPlaneAlignment, bytes));
    if (buffer->memory == nullptr) throw ScriptError("NewVideoFrame: out of memory");
    buffer->vfb = VideoFrameBuffer{buffer->memory, dataSize, 0, 0};
    found = buffer.get();
    buffers_.push_back(std::move(buffer));
  }
  return found;
}

VideoFrame* FramePool::FreeFrame() {
  for (const auto& frame : frames_) {
    if (host_detail::AtomicLoad(&frame->refcount) == 0) return frame.get();
  }
  frames_.push_back(std::make_unique<VideoFrame>());
  return frames_.back().get();
}

PVideoFrame FramePool::NewFrame(const FrameGeometry& g, int fill) {
  std::lock_guard lock(mutex_);
  Buffer* buffer = FreeBuffer(g.dataSize);
  VideoFrame* frame = FreeFrame();
  if (fill >= 0) memset(buffer->memory, fill, static_cast<size_t>(g.dataSize));
  buffer->vfb.refcount = 1;
  *frame = VideoFrame{0, &buffer->vfb, g.offset, g.pitch, g.rowSize, g.height, g.offsetU, g.offsetV, g.pitchUV};
  return PVideoFrame(frame);
}

PVideoFrame FramePool::NewView(const VideoFrame& source, const FrameGeometry& g) {
  std::lock_guard lock(mutex_);
  VideoFrame* frame = FreeFrame();
  host_detail::AtomicIncrement(&source.vfb->refcount);
  *frame = VideoFrame{0, source.vfb, g.offset, g.pitch, g.rowSize, g.height, g.offsetU, g.offsetV, g.pitchUV};
  return PVideoFrame(frame);
}

size_t FramePool::FramesAllocated() const {
  std::lock_guard lock(mutex_);
  return frames_.size();
}

size_t FramePool::FramesInUse() const {
  std::lock_guard lock(mutex_);
  size_t inUse = 0;
  for (const auto& frame : frames_) inUse += host_detail::AtomicLoad(&frame->refcount) != 0 ? 1 : 0;
  return inUse;
}

}  // namespace sorvan::frameserver
