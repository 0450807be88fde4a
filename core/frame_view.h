// How a host hands a frame to the core: each memory plane as an address, a pitch and the
// plane's size as the host describes it. The core derives every channel from these and the
// format; it never recomputes a plane's size from the frame's.
#pragma once

#include "core/formats/video_format.h"

namespace sorvan {

template <typename Byte>
struct BasicPlaneView {
  Byte* data;
  int32_t pitch;   // bytes from one row to the next (may be negative)
  int32_t width;   // pixels a row (for a packed plane, pixels, not samples)
  int32_t height;  // rows
};
using SourcePlaneView = BasicPlaneView<const uint8_t>;

// Planes in the format's memory order. A destination plane whose data is null already holds
// the source's samples (a host that shares unfiltered planes): the core leaves it alone.
template <typename Byte>
struct BasicFrameView {
  BasicPlaneView<Byte> planes[kMaxPlanes];
};
using FrameView = BasicFrameView<uint8_t>;
using SourceFrameView = BasicFrameView<const uint8_t>;

// Copies rowSize bytes of each of height rows, each side advancing by its own pitch, and
// nothing when rowSize or height is 0. In a plug-in this is the host's own plane copy.
struct CopyPlane {
  void (*copy)(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
               int32_t height);
  void* context;

  void operator()(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
                  int32_t height) const {
    copy(context, dst, dstPitch, src, srcPitch, rowSize, height);
  }
};

// A CopyPlane over plain memory, for callers that have no host.
void CopyPlaneRows(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
                   int32_t height);
inline constexpr CopyPlane kMemoryCopyPlane = {&CopyPlaneRows, nullptr};

}  // namespace sorvan
