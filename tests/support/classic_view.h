// A frame of one of the five classic pixel types, given as the 2.5 interface gives it (main
// image, U and V planes with one chroma pitch), as the core sees it: planes in the format's
// memory order (YV12: Y, V, U), packed widths in pixels.
#pragma once

#include "core/frame_view.h"
#include "plugin/classic/classic_formats.h"

namespace sorvan::testing {

struct ClassicPlanes {
  int32_t type, width, height;
  int32_t pitch, rowSize;
  int32_t chromaPitch, chromaRowSize, chromaHeight;
};

template <typename Byte, typename Pointer>
BasicFrameView<Byte> ClassicView(const ClassicPlanes& f, Pointer main, Pointer u, Pointer v) {
  VideoFormat format{};
  ClassicFormat(f.type, &format);
  BasicFrameView<Byte> view{};
  const bool packed = format.planeCount == 1;
  view.planes[0] = {main, f.pitch, packed ? f.width : f.rowSize, f.height};
  if (!packed) {
    view.planes[format.channels[1].plane] = {u, f.chromaPitch, f.chromaRowSize, f.chromaHeight};
    view.planes[format.channels[2].plane] = {v, f.chromaPitch, f.chromaRowSize, f.chromaHeight};
  }
  return view;
}

}  // namespace sorvan::testing
