// The fast paths' row buffers (the scratch block's workspace), the same on every instruction
// set, so that a plan sizes them without knowing which table it will run.
#pragma once

#include "core/kernels/gaussian_weights.h"

namespace sorvan {

// The 8-bit Gaussian's workspace (byte_gaussian_rows.h), in int32 entries from a 64-byte
// aligned start: two rows of vertical sums in four phases, each phase with a front for the
// reflected columns and a margin for the last block's reads; the finished row; and the tail
// block's copies of the window's rows.
constexpr int32_t kPhases = 4;
constexpr int32_t kPhaseFront = 16;
constexpr int32_t kTailBlockBytes = 128;  // more than the widest vector

constexpr ptrdiff_t RoundUp16(ptrdiff_t n) { return (n + 15) & ~static_cast<ptrdiff_t>(15); }

struct ByteGaussianLayout {
  ptrdiff_t phaseStride;
  ptrdiff_t rowOutEntries;

  static constexpr ByteGaussianLayout For(int32_t width) {
    const ptrdiff_t w = width > 0 ? width : 0;
    return {kPhaseFront + RoundUp16((w + kPhases - 1) / kPhases) + 16, RoundUp16((w + kTailBlockBytes + 3) / 4)};
  }
  constexpr ptrdiff_t Entries() const {
    return 2 * kPhases * phaseStride + rowOutEntries + (kMaxWindow * kTailBlockBytes) / 4;
  }
};

// One region of the other layouts, in entries of their type (int32 or double): a row of
// `width` entries with 16 ahead of it (the reflected left end) and 128 beyond (the reflected
// right end and the last vector's reach), a multiple of 16 entries so that every region stays
// 64-byte aligned. The box averages and the B-bit and float Gaussians lay out several.
constexpr size_t KernelWorkspaceRegion(int32_t width) {
  return ((static_cast<size_t>(width > 0 ? width : 0) + 2 * 8 + 128) + 15) & ~static_cast<size_t>(15);
}

// Workspace entries (int32) the 8-bit fast averages need for a channel of this width, whatever rad.
constexpr size_t KernelWorkspaceEntries(int32_t width) {
  const size_t box = 3 * KernelWorkspaceRegion(width);
  const size_t gaussian = static_cast<size_t>(ByteGaussianLayout::For(width).Entries());
  return box > gaussian ? box : gaussian;
}

}  // namespace sorvan
