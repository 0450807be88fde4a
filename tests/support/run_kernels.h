// Runs one routine of an 8-bit kernel table on a tightly packed Plane, through strided
// source and destination channels of the given step and pitches.
#pragma once

#include <vector>

#include "core/kernels/gaussian_weights.h"
#include "core/kernels/sample_kernels.h"
#include "core/simd/kernel_workspace.h"
#include "tests/support/strided_channel.h"

namespace sorvan::testing {

struct Layout {
  int32_t step = 1;
  int32_t srcPadding = 0;  // bytes beyond the row's samples
  int32_t dstPadding = 0;
  int32_t offset = 0;  // byte position of the channel within a pixel
};

inline int32_t PitchFor(const Plane& p, const Layout& l, int32_t padding) {
  return (p.width > 0 ? p.width : 1) * l.step + padding;
}

// A scratch block in test-owned memory: a row-sum plane, a box table and a workspace.
struct TestScratch {
  std::vector<uint8_t> storage;
  ScratchBlock block;

  TestScratch(size_t planeBytes, size_t boxBytes, size_t workspaceBytes) {
    auto up = [](size_t n) { return (n + 63) & ~size_t{63}; };
    block.layout = {0,
                    up(planeBytes),
                    up(planeBytes),
                    up(boxBytes),
                    up(planeBytes) + up(boxBytes),
                    up(workspaceBytes),
                    up(planeBytes) + up(boxBytes) + up(workspaceBytes)};
    storage.assign(block.layout.totalBytes + 64, 0);
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(storage.data()) + 63) & ~uintptr_t{63};
    block.base = reinterpret_cast<uint8_t*>(aligned);
  }
  // Enough for any table on a channel of this size and window.
  static TestScratch For(int32_t width, int32_t height, int32_t window, size_t rowSumBytes = sizeof(int32_t)) {
    const size_t w = static_cast<size_t>(width > 0 ? width : 0);
    const size_t h = static_cast<size_t>(height > 0 ? height : 0);
    return TestScratch(w * h * rowSumBytes, static_cast<size_t>(window) * window * sizeof(int32_t),
                       KernelWorkspaceEntries(width) * sizeof(int32_t));
  }
};

constexpr uint8_t kSourceFiller = 0x5A;
constexpr uint8_t kDestinationFiller = 0xC3;

inline Plane RunGaussian(const SampleKernels<uint8_t>& kernels, const Plane& in, int32_t rad, int32_t str,
                         Layout l = {}, bool* fillerIntact = nullptr) {
  const GaussianWeights w = BuildGaussianWeights(rad, str);
  StridedChannel src(in.width, in.height, l.step, PitchFor(in, l, l.srcPadding), l.offset, kSourceFiller);
  StridedChannel dst(in.width, in.height, l.step, PitchFor(in, l, l.dstPadding), l.offset, kDestinationFiller);
  src.Fill(in);
  const TestScratch scratch = TestScratch::For(in.width, in.height, w.window);
  kernels.gaussian({dst.base(), dst.pitch}, {src.base(), src.pitch}, {in.width, in.height, l.step}, w.Params(),
                   scratch.block);
  if (fillerIntact) *fillerIntact = dst.FillerIntact(kDestinationFiller) && src.FillerIntact(kSourceFiller);
  return dst.Extract();
}

inline Plane RunBox(const SampleKernels<uint8_t>& kernels, const Plane& in, int32_t window, Layout l = {},
                    bool* fillerIntact = nullptr) {
  StridedChannel src(in.width, in.height, l.step, PitchFor(in, l, l.srcPadding), l.offset, kSourceFiller);
  StridedChannel dst(in.width, in.height, l.step, PitchFor(in, l, l.dstPadding), l.offset, kDestinationFiller);
  src.Fill(in);
  const TestScratch scratch = TestScratch::For(in.width, in.height, window);
  kernels.box({dst.base(), dst.pitch}, {src.base(), src.pitch}, {in.width, in.height, l.step}, window, scratch.block);
  if (fillerIntact) *fillerIntact = dst.FillerIntact(kDestinationFiller) && src.FillerIntact(kSourceFiller);
  return dst.Extract();
}

inline Plane RunMerge(const SampleKernels<uint8_t>& kernels, const Plane& source, const Plane& smoothed, int32_t p,
                      int32_t n, Layout l = {}, bool* fillerIntact = nullptr) {
  StridedChannel src(source.width, source.height, l.step, PitchFor(source, l, l.srcPadding), l.offset, kSourceFiller);
  StridedChannel out(source.width, source.height, l.step, PitchFor(source, l, l.dstPadding), l.offset,
                     kDestinationFiller);
  src.Fill(source);
  out.Fill(smoothed);
  kernels.limitMerge({out.base(), out.pitch}, {src.base(), src.pitch}, {out.base(), out.pitch},
                     {source.width, source.height, l.step}, {p, n});
  if (fillerIntact) *fillerIntact = out.FillerIntact(kDestinationFiller) && src.FillerIntact(kSourceFiller);
  return out.Extract();
}

}  // namespace sorvan::testing
