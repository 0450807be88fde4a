// The 8-bit fast paths, written once over the vector operations of an instruction set
// (core/simd/vector_operations.h). Each kernels_<isa>.cpp defines `Isa`, compiled with that
// translation unit's flags, and includes this file; everything here has internal linkage, so no
// code compiled for one instruction set can be picked by the linker for another.
//
// Results are bit-exact with the reference:
// - Gaussian: the full weighted sum is the same integer whichever pass runs first, and
//   reflection commutes between rows and columns. So for each output row the window's rows
//   (reflected rows are just row pointers) are summed vertically into an L1 row of sums, which
//   is then reflected at both ends and summed horizontally (byte_gaussian_rows.h, which keeps
//   the columns in four phases). In interior rows the centre sample's own share K[m]²·S is left
//   out by giving the centre column the vertical sum without the centre row
//   (K[m]·(V − K[m]·S) = K[m]·V − K[m]²·S). Where a 32-bit multiply is dear, the vertical sums
//   are kept split (split_sums.h). The division by surroundWeight is the multiply-high of
//   core/surround_division.h.
// - Box: running column sums over the reflected rows (16-bit), reflected at both row ends,
//   then a prefix sum along the row (box_outline.h).
// - Packed channels (step 2, 3, 4) are gathered into contiguous rows and scattered back into
//   their byte positions; the merge and the copy work on the packed bytes directly and blend
//   only the channel's positions, so the other channels' bytes keep their values.
#pragma once

#include "core/simd/box_outline.h"
#include "core/simd/byte_gaussian_rows.h"
#include "core/simd/fast_kernels.h"
#include "core/simd/vector_operations.h"

namespace sorvan {
namespace {

static_assert(ByteOperations<Isa>, "Isa lacks operations the 8-bit paths use");

// masks[j] marks, within the j-th vector of a row (j taken mod 3), the bytes that belong to
// the channel. A period of three vectors covers step 3 as well as steps 1, 2 and 4.
struct ChannelMasks {
  Isa::V masks[3];
};

ChannelMasks MakeChannelMasks(int32_t step) {
  alignas(64) uint8_t bytes[3 * Isa::kBytes];
  for (int32_t i = 0; i < 3 * Isa::kBytes; ++i) bytes[i] = (i % step == 0) ? 0xFF : 0x00;
  ChannelMasks m;
  for (int j = 0; j < 3; ++j) m.masks[j] = Isa::Load(bytes + j * Isa::kBytes);
  return m;
}

// Calls block(offset, mask) for every whole vector of a packed row, mask marking the channel's
// bytes, and returns the first sample past them.
template <typename Block>
int32_t MaskedBlocks(const ChannelMasks& cm, const ChannelShape& s, Block&& block) {
  const ptrdiff_t span = PackedSpan(s.width, s.step);
  ptrdiff_t offset = 0;
  for (int32_t j = 0; offset + Isa::kBytes <= span; ++j, offset += Isa::kBytes) block(offset, cm.masks[j % 3]);
  return static_cast<int32_t>((offset + s.step - 1) / s.step);
}

struct ByteKernels {
  using Sample = uint8_t;

  static bool GaussianFits(const GaussianParams& g) { return IntegerGaussianFits(g); }
  template <int32_t M>
  static bool GaussianRows(const GaussianJob<uint8_t>& job, int32_t* workspace) {
    ByteGaussianRows<M>(job, workspace);
    return true;
  }

  static bool BoxTakes(Channel<const uint8_t>, const ChannelShape&) { return true; }
  static void Box(Channel<uint8_t> dst, Channel<const uint8_t> src, const ChannelShape& s, int32_t window,
                  int32_t* workspace) {
    IntegerBox(dst, src, s, window, workspace);
  }

  static void LimitMerge(Channel<uint8_t> out, Channel<const uint8_t> src, Channel<const uint8_t> smoothed,
                         const ChannelShape& s, const MergeLimits<uint8_t>& limits) {
    FusedLimits<uint8_t> l;
    if (!FuseLimits(limits, &l)) {
      sorvan::LimitMerge<uint8_t>(out, src, smoothed, s, limits);
      return;
    }
    if (s.height <= 0 || s.width <= 0) return;
    const Isa::V vp = Isa::Set8(static_cast<uint8_t>(l.positive));
    const Isa::V vn = Isa::Set8(static_cast<uint8_t>(l.negative));
    const ChannelMasks cm = MakeChannelMasks(s.step);
    for (int32_t y = 0; y < s.height; ++y) {
      uint8_t* o = RowOf(out, y);
      const uint8_t* sr = RowOf(src, y);
      const uint8_t* a = RowOf(smoothed, y);
      const int32_t done = MaskedBlocks(cm, s, [&](ptrdiff_t offset, Isa::V mask) {
        const Isa::V sv = Isa::Load(sr + offset);
        const Isa::V av = Isa::Load(a + offset);
        const Isa::V take = Isa::AndNot(WithinLimits(sv, av, vp, vn), mask);
        const Isa::V ov = (o == a) ? av : Isa::Load(o + offset);
        Isa::Store(o + offset, Isa::Or(Isa::And(take, sv), Isa::AndNot(take, ov)));
      });
      for (int32_t x = done; x < s.width; ++x) {  // out keeps its own value within the limits
        const ptrdiff_t i = static_cast<ptrdiff_t>(x) * s.step;
        const int32_t d = static_cast<int32_t>(sr[i]) - static_cast<int32_t>(a[i]);
        if (d > l.positive || d < -l.negative) o[i] = sr[i];
      }
    }
  }

  static void CopyPacked(Channel<uint8_t> dst, Channel<const uint8_t> src, const ChannelShape& s) {
    const ChannelMasks cm = MakeChannelMasks(s.step);
    for (int32_t y = 0; y < s.height; ++y) {
      uint8_t* d = RowOf(dst, y);
      const uint8_t* sr = RowOf(src, y);
      const int32_t done = MaskedBlocks(cm, s, [&](ptrdiff_t offset, Isa::V mask) {
        Isa::Store(d + offset,
                   Isa::Or(Isa::And(mask, Isa::Load(sr + offset)), Isa::AndNot(mask, Isa::Load(d + offset))));
      });
      for (int32_t x = done; x < s.width; ++x)
        d[static_cast<ptrdiff_t>(x) * s.step] = sr[static_cast<ptrdiff_t>(x) * s.step];
    }
  }

  static size_t WorkspaceBytes(int32_t maxWidth) { return KernelWorkspaceEntries(maxWidth) * sizeof(int32_t); }
};

}  // namespace
}  // namespace sorvan
