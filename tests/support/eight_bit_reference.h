// The 8-bit reference averages as they were before the core became generic over the sample
// type, kept word for word: the generic reference must give exactly their bytes at 8 bits.
#pragma once

#include "core/portability.h"

namespace sorvan::testing::eight_bit {

void GaussianSurroundAverage(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t* scratch,
                             int32_t height, int32_t width, int32_t step, const int32_t* weights, int32_t window,
                             int32_t shift, int32_t surroundWeight, int32_t centreWeightSq);

void BoxAverage(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height, int32_t width,
                int32_t step, int32_t window, int32_t* boxOffsets);

}  // namespace sorvan::testing::eight_bit
