// Planar 4:2:2 (Y4M C422: Y plane, U plane of W/2 x H, V plane) <-> packed YUY2 (Y0 U Y1 V per
// pixel pair), so Y4M 4:2:2 streams can be filtered as the frame server's YUY2 clips.
#pragma once

#include <cstdint>

namespace sorvan::cli {

// `width` is even; both buffers hold width * height * 2 bytes and do not overlap.
void PackPlanar422ToYuy2(const uint8_t* planar, uint8_t* yuy2, int32_t width, int32_t height);
void UnpackYuy2ToPlanar422(const uint8_t* yuy2, uint8_t* planar, int32_t width, int32_t height);

}  // namespace sorvan::cli
