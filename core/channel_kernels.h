// The per-channel pixel routines. The scalar versions are the reference: plain, literal and
// the definition of the result. Faster versions share these signatures exactly and are
// chosen once per filter through ChannelKernels.
#pragma once

#include "core/portability.h"

namespace sorvan {

// Gaussian average of the window × window neighbourhood, in two integer passes through
// `scratch` (at least width·height entries). Interior rows leave the centre sample out.
// Needs width ≥ 2·rad and height ≥ 2·rad.
void GaussianSurroundAverage(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t* scratch,
                             int32_t height, int32_t width, int32_t step, const int32_t* weights, int32_t window,
                             int32_t shift, int32_t surroundWeight, int32_t centreWeightSq);

// Box average of the window × window square, the centre included, in 20-bit fixed point.
// `boxOffsets` (window² entries) is rewritten on every call. Needs width, height ≥ window.
void BoxAverage(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height, int32_t width,
                int32_t step, int32_t window, int32_t* boxOffsets);

// Puts the source sample back wherever it lies more than positiveLimit above or more than
// negativeLimit below the smoothed one. `out` may be the smoothed view itself.
void LimitMerge(uint8_t* out, int32_t outPitch, const uint8_t* src, int32_t srcPitch, const uint8_t* smoothed,
                int32_t smoothedPitch, int32_t height, int32_t width, int32_t step, int32_t positiveLimit,
                int32_t negativeLimit);

// Copies the samples of one channel view and no other byte.
void CopyChannel(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height, int32_t width,
                 int32_t step);

// The two averages of a table take one more argument than the reference: a workspace of at
// least KernelWorkspaceEntries(width) entries, allocated once per filter, for the row buffers
// of the fast paths. The reference ignores it.
using GaussianSurroundAverageFn = void (*)(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch,
                                           int32_t* scratch, int32_t height, int32_t width, int32_t step,
                                           const int32_t* weights, int32_t window, int32_t shift,
                                           int32_t surroundWeight, int32_t centreWeightSq, int32_t* workspace);
using BoxAverageFn = void (*)(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t height,
                              int32_t width, int32_t step, int32_t window, int32_t* boxOffsets, int32_t* workspace);
// Gaussian average followed by the limit merge in place (output = smoothed = dst), in one
// pass: the same bytes as the two routines one after the other. Fast paths only.
using GaussianSurroundMergeFn = void (*)(uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch,
                                         int32_t* scratch, int32_t height, int32_t width, int32_t step,
                                         const int32_t* weights, int32_t window, int32_t shift,
                                         int32_t surroundWeight, int32_t centreWeightSq, int32_t positiveLimit,
                                         int32_t negativeLimit, int32_t* workspace);
using LimitMergeFn = decltype(&LimitMerge);
using CopyChannelFn = decltype(&CopyChannel);

struct ChannelKernels {
  const char* name;
  GaussianSurroundAverageFn gaussianSurroundAverage;
  BoxAverageFn boxAverage;
  LimitMergeFn limitMerge;
  CopyChannelFn copyChannel;
  bool needsWorkspace;
  GaussianSurroundMergeFn gaussianSurroundMerge;  // nullptr: average, then limitMerge
};

// Workspace entries (int32) the fast averages need for a channel of this width, whatever rad.
// Three regions of equal size, each 64-byte aligned.
constexpr size_t KernelWorkspaceRegion(int32_t width) {
  return ((static_cast<size_t>(width > 0 ? width : 0) + 2 * 8 + 128) + 15) & ~static_cast<size_t>(15);
}
constexpr size_t KernelWorkspaceEntries(int32_t width) { return 3 * KernelWorkspaceRegion(width); }

const ChannelKernels& ReferenceKernels();

}  // namespace sorvan
