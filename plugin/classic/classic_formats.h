// The five pixel types of the 2.5 interface as the core's format descriptions: the one place
// that knows their layouts (YV12 stores V before U; I420 U before V; RGB24 and RGB32 are blue
// first in memory; YUY2 is Y U Y V).
#pragma once

#include "core/formats/video_format.h"

namespace sorvan {

// False for any code other than the five, whose bits may overlap theirs in later hosts.
bool ClassicFormat(int32_t pixelType, VideoFormat* format);

}  // namespace sorvan
