// Runs one routine of a ChannelKernels table on a tightly packed Plane, through strided
// source and destination channels of the given step and pitches.
#pragma once

#include <vector>

#include "core/channel_kernels.h"
#include "core/gaussian_weights.h"
#include "support/strided_channel.h"

namespace sorvan::testing {

struct Layout {
  int32_t step = 1;
  int32_t srcPadding = 0;  // bytes beyond the row's samples
  int32_t dstPadding = 0;
  int32_t offset = 0;      // byte position of the channel within a pixel
};

inline int32_t PitchFor(const Plane& p, const Layout& l, int32_t padding) {
  return (p.width > 0 ? p.width : 1) * l.step + padding;
}

constexpr uint8_t kSourceFiller = 0x5A;
constexpr uint8_t kDestinationFiller = 0xC3;

inline Plane RunGaussian(const ChannelKernels& kernels, const Plane& in, int32_t rad, int32_t str, Layout l = {},
                         bool* fillerIntact = nullptr) {
  const GaussianWeights w = BuildGaussianWeights(rad, str);
  StridedChannel src(in.width, in.height, l.step, PitchFor(in, l, l.srcPadding), l.offset, kSourceFiller);
  StridedChannel dst(in.width, in.height, l.step, PitchFor(in, l, l.dstPadding), l.offset, kDestinationFiller);
  src.Fill(in);
  std::vector<int32_t> scratch(static_cast<size_t>(in.width) * in.height);
  std::vector<int32_t> workspace(KernelWorkspaceEntries(in.width));
  kernels.gaussianSurroundAverage(dst.base(), dst.pitch, src.base(), src.pitch, scratch.data(), in.height, in.width,
                                  l.step, w.taps.data(), w.window, 10, w.surroundWeight, w.centreWeightSq,
                                  workspace.data());
  if (fillerIntact) *fillerIntact = dst.FillerIntact(kDestinationFiller) && src.FillerIntact(kSourceFiller);
  return dst.Extract();
}

inline Plane RunBox(const ChannelKernels& kernels, const Plane& in, int32_t window, Layout l = {},
                    bool* fillerIntact = nullptr) {
  StridedChannel src(in.width, in.height, l.step, PitchFor(in, l, l.srcPadding), l.offset, kSourceFiller);
  StridedChannel dst(in.width, in.height, l.step, PitchFor(in, l, l.dstPadding), l.offset, kDestinationFiller);
  src.Fill(in);
  std::vector<int32_t> offsets(static_cast<size_t>(window) * window);
  std::vector<int32_t> workspace(KernelWorkspaceEntries(in.width));
  kernels.boxAverage(dst.base(), dst.pitch, src.base(), src.pitch, in.height, in.width, l.step, window,
                     offsets.data(), workspace.data());
  if (fillerIntact) *fillerIntact = dst.FillerIntact(kDestinationFiller) && src.FillerIntact(kSourceFiller);
  return dst.Extract();
}

inline Plane RunMerge(const ChannelKernels& kernels, const Plane& source, const Plane& smoothed, int32_t p, int32_t n,
                      Layout l = {}, bool* fillerIntact = nullptr) {
  StridedChannel src(source.width, source.height, l.step, PitchFor(source, l, l.srcPadding), l.offset, kSourceFiller);
  StridedChannel out(source.width, source.height, l.step, PitchFor(source, l, l.dstPadding), l.offset,
                     kDestinationFiller);
  src.Fill(source);
  out.Fill(smoothed);
  kernels.limitMerge(out.base(), out.pitch, src.base(), src.pitch, out.base(), out.pitch, source.height, source.width,
                     l.step, p, n);
  if (fillerIntact) *fillerIntact = out.FillerIntact(kDestinationFiller) && src.FillerIntact(kSourceFiller);
  return out.Extract();
}

}  // namespace sorvan::testing
