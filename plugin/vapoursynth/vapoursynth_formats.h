// The host's video formats as the core describes them, and the host's names for them, which the
// refusals of the formats the core does not compute on show.
#pragma once

#include "core/filter_request.h"
#include "plugin/vapoursynth/vapoursynth_interface.h"

namespace sorvan {

// The host writes a format's name into 32 bytes at most.
inline constexpr size_t kFormatNameBytes = 64;

// The clip's format for the core's checks: the description where the core knows the format
// (planes R, G, B for RGB; Y, U, V for YUV; none for half float, integers beyond 16 bits or
// subsampling the core has no kernels for), the host's name for it in `name`, and the refusal of
// a clip of variable format, which has neither.
ClipFormat ReadClipFormat(const VSVideoInfo& vi, const VSAPI* vsapi, VideoFormat* format,
                          char (&name)[kFormatNameBytes]);

// The mapping alone; false for what the core does not compute on.
bool VapourSynthFormat(const VSVideoFormat& host, VideoFormat* format);

}  // namespace sorvan
