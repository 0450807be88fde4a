#include "plugin/classic/classic_formats.h"

#include "plugin/classic/pixel_type.h"

namespace sorvan {
namespace {

constexpr PlanarFormatFields Planar420(const int8_t (&planes)[kColourChannels]) {
  return {ColourFamily::kYuv, SampleType::kInteger, 8, 1, 1, false, {planes[0], planes[1], planes[2]}};
}

}  // namespace

bool ClassicFormat(int32_t pixelType, VideoFormat* format) {
  switch (pixelType) {
    case CS_BGR24: *format = PackedFormat(PackedLayout::kBgr24, "RGB24"); return true;
    case CS_BGR32: *format = PackedFormat(PackedLayout::kBgra32, "RGB32"); return true;
    case CS_YUY2: *format = PackedFormat(PackedLayout::kYuyv, "YUY2"); return true;
    case CS_YV12: *format = PlanarFormat(Planar420(kPlanesYvu), "YV12"); return true;
    case CS_I420: *format = PlanarFormat(Planar420(kPlanesYuv), "I420"); return true;
    default: return false;
  }
}

}  // namespace sorvan
