// Pixel-type codes of the frame server's 2.5 interface, and what the core derives from them.
#pragma once

#include "core/portability.h"

namespace sorvan {

inline constexpr int32_t CS_BGR = 0x10000000;
inline constexpr int32_t CS_YUV = 0x20000000;
inline constexpr int32_t CS_PLANAR = static_cast<int32_t>(0x80000000u);
inline constexpr int32_t CS_BGR24 = 0x50000001;
inline constexpr int32_t CS_BGR32 = 0x50000002;
inline constexpr int32_t CS_YUY2 = 0x60000004;
inline constexpr int32_t CS_YV12 = static_cast<int32_t>(0xA0000008u);
inline constexpr int32_t CS_I420 = static_cast<int32_t>(0xA0000010u);

constexpr bool HasAllBits(int32_t pixelType, int32_t mask) { return (pixelType & mask) == mask; }

// Bits per pixel of the main image; 0 for any code that is not one of the five.
constexpr int32_t BitsPerPixel(int32_t pixelType) {
  switch (pixelType) {
    case CS_BGR24: return 24;
    case CS_BGR32: return 32;
    case CS_YUY2: return 16;
    case CS_YV12:
    case CS_I420: return 12;
    default: return 0;
  }
}

// True for exactly the five pixel types the filter can process.
constexpr bool IsSupportedPixelType(int32_t pixelType) {
  return pixelType == CS_BGR24 || pixelType == CS_BGR32 || pixelType == CS_YUY2 || pixelType == CS_YV12 ||
         pixelType == CS_I420;
}

}  // namespace sorvan
