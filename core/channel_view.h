// How the core sees frames: one channel as a strided 2-D array of bytes, and a whole frame as
// the planes the frame server hands out.
#pragma once

#include "core/portability.h"

namespace sorvan {

// One channel of one frame: sample (y, x) is the byte at base + y·pitch + x·step.
template <typename Byte>
struct BasicChannelView {
  Byte* base;
  int32_t pitch;
  int32_t step;
  int32_t width;
  int32_t height;
};
using ChannelView = BasicChannelView<uint8_t>;
using SourceChannelView = BasicChannelView<const uint8_t>;

// A frame as the frame server describes it. Packed types use only the main image;
// planar types add the U and V planes, which share one chroma pitch (0 for packed types).
template <typename Byte>
struct BasicFramePlanes {
  Byte* main;
  int32_t pitch;
  int32_t rowSize;
  int32_t height;
  Byte* u;
  Byte* v;
  int32_t chromaPitch;
};
using FramePlanes = BasicFramePlanes<uint8_t>;
using SourceFramePlanes = BasicFramePlanes<const uint8_t>;

// Copies rowSize bytes of each of height rows, each side advancing by its own pitch, and
// nothing when rowSize or height is 0. In the plug-in this is the host's BitBlt.
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
void CopyPlaneRows(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch,
                   int32_t rowSize, int32_t height);

}  // namespace sorvan
