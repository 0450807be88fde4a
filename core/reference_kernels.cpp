// The reference routines as a kernel table: the scalar path, and what every fast path is
// compared with.
#include "core/channel_kernels.h"

namespace sorvan {
namespace {

void GaussianReference(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t* scratch,
                       int32_t height, int32_t width, int32_t step, const int32_t* weights, int32_t window,
                       int32_t shift, int32_t surroundWeight, int32_t centreWeightSq, int32_t* /*workspace*/) {
  GaussianSurroundAverage(dst, dstPitch, src, srcPitch, scratch, height, width, step, weights, window, shift,
                          surroundWeight, centreWeightSq);
}

void BoxReference(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height,
                  int32_t width, int32_t step, int32_t window, int32_t* boxOffsets, int32_t* /*workspace*/) {
  BoxAverage(dst, dstPitch, src, srcPitch, height, width, step, window, boxOffsets);
}

constexpr ChannelKernels kReferenceKernels = {"reference", &GaussianReference, &BoxReference, &LimitMerge,
                                              &CopyChannel, false, nullptr};

}  // namespace

const ChannelKernels& ReferenceKernels() { return kReferenceKernels; }

}  // namespace sorvan
