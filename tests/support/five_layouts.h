// The five 8-bit layouts of the 2.5 interface as the core describes them: packed blue-first RGB
// with and without alpha, packed 4:2:2 (Y U Y V), and planar 4:2:0 with V before U (YV12) and
// U before V (I420). The frame-level tests of the core run on these; the binding's own mapping
// of the interface's codes is tested through the plug-in.
#pragma once

#include <vector>

#include "core/formats/video_format.h"

namespace sorvan::testing {

inline VideoFormat Rgb24() { return PackedFormat(PackedLayout::kBgr24, "RGB24"); }
inline VideoFormat Rgb32() { return PackedFormat(PackedLayout::kBgra32, "RGB32"); }
inline VideoFormat Yuy2() { return PackedFormat(PackedLayout::kYuyv, "YUY2"); }
inline VideoFormat Yv12() {
  return PlanarFormat({.widthShift = 1, .heightShift = 1, .channelPlanes = {0, 2, 1}}, "YV12");
}
inline VideoFormat I420() { return PlanarFormat({.widthShift = 1, .heightShift = 1}, "I420"); }

inline std::vector<VideoFormat> FiveLayouts() { return {Rgb24(), Rgb32(), Yuy2(), Yv12(), I420()}; }

}  // namespace sorvan::testing
