// The host's video formats as the core describes them, and the refusal of the ones it does not
// compute on, named as the host names them.
#pragma once

#include "core/formats/video_format.h"
#include "plugin/vapoursynth/vapoursynth_interface.h"

namespace sorvan {

// Room for every refusal below: the host's format names fit 32 bytes.
inline constexpr size_t kFormatMessageBytes = 192;

// The clip's format as the core's description (planes R, G, B for RGB; Y, U, V for YUV), or
// null with the refusal written to `message`: variable format or size, half float, integers
// beyond 16 bits, subsampling the core has no kernels for.
const char* ClipFormat(const VSVideoInfo& vi, const VSAPI* vsapi, VideoFormat* format, char* message);

// The mapping alone; false for what the core does not compute on.
bool VapourSynthFormat(const VSVideoFormat& host, VideoFormat* format);

}  // namespace sorvan
