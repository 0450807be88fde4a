// AviSynth+ pixel types as the core's format description: every family, depth and subsampling
// the host has, with the host's plane constant for each memory plane, and the host's name for
// any pixel type (the refusal message names the format as the host does).
#pragma once

#include "core/filter_request.h"

namespace sorvan::avs {

struct HostFormat {
  VideoFormat format;
  int32_t planeIds[kMaxPlanes];  // the accessor's plane constant of each memory plane
};

// False for a pixel type the filter does not compute on (or that is no valid pixel type).
bool MapPixelType(int32_t pixelType, HostFormat* out);

// Appends the host's name of the pixel type ("YV12", "YUV444P10", "RGBAPS", "RGB32", ...), or
// "pixel type 0x…" for a value the host has no name for.
void PixelTypeName(int32_t pixelType, FormatName* name);

}  // namespace sorvan::avs
