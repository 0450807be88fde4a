#include "plugin/classic/classic_formats.h"

#include "plugin/classic/classic_interface.h"

namespace sorvan {

bool ClassicFormat(int32_t pixelType, VideoFormat* format) {
  // 8-bit 4:2:0: YV12 stores V before U, I420 U before V.
  constexpr PlanarFormatFields kYv12 = {.widthShift = 1, .heightShift = 1, .channelPlanes = {0, 2, 1}};
  constexpr PlanarFormatFields kI420 = {.widthShift = 1, .heightShift = 1};
  switch (pixelType) {
    case CS_BGR24: *format = PackedFormat(PackedLayout::kBgr24, "RGB24"); return true;
    case CS_BGR32: *format = PackedFormat(PackedLayout::kBgra32, "RGB32"); return true;
    case CS_YUY2: *format = PackedFormat(PackedLayout::kYuyv, "YUY2"); return true;
    case CS_YV12: *format = PlanarFormat(kYv12, "YV12"); return true;
    case CS_I420: *format = PlanarFormat(kI420, "I420"); return true;
    default: return false;
  }
}

}  // namespace sorvan
