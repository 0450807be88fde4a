// Reference limit merge and channel copy.
#include "core/channel_kernels.h"

namespace sorvan {

void LimitMerge(uint8_t* out, int32_t outPitch, const uint8_t* src, int32_t srcPitch, const uint8_t* smoothed,
                int32_t smoothedPitch, int32_t height, int32_t width, int32_t step, int32_t positiveLimit,
                int32_t negativeLimit) {
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t s = *At(src, srcPitch, y, x, step);
      const int32_t a = *At(smoothed, smoothedPitch, y, x, step);
      const int32_t d = s - a;
      if (d > positiveLimit || d < -negativeLimit) *At(out, outPitch, y, x, step) = static_cast<uint8_t>(s);
    }
  }
}

void CopyChannel(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height, int32_t width,
                 int32_t step) {
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) *At(dst, dstPitch, y, x, step) = *At(src, srcPitch, y, x, step);
  }
}

}  // namespace sorvan
