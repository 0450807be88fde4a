// Packed channels (steps 2, 3 and 4: YUY2, packed RGB) to and from contiguous rows, for every
// sample type: bytes in blocks of 16 samples through the instruction set's GatherPacked16 and
// ScatterPacked16, words and floats one sample at a time. A scattered row rewrites the bytes
// between its samples with the values they hold. Included after the translation unit's `Isa`.
#pragma once

#include "core/simd/channel_rows.h"

namespace sorvan {
namespace {

// Whole blocks of 16 samples at step S while the block's bytes lie within the row's `span`;
// returns how many samples they covered.
template <int32_t S>
int32_t GatherBlocks(uint8_t* out, const uint8_t* row, ptrdiff_t span) {
  int32_t x = 0;
  for (; static_cast<ptrdiff_t>(x + 16) * S <= span; x += 16) {
    Isa::GatherPacked16<S>(out + x, row + static_cast<ptrdiff_t>(x) * S);
  }
  return x;
}
template <int32_t S>
int32_t ScatterBlocks(uint8_t* row, const uint8_t* in, ptrdiff_t span) {
  int32_t x = 0;
  for (; static_cast<ptrdiff_t>(x + 16) * S <= span; x += 16) {
    Isa::ScatterPacked16<S>(row + static_cast<ptrdiff_t>(x) * S, in + x);
  }
  return x;
}

// The bytes a packed row of `width` samples at `step` spans.
ptrdiff_t PackedSpan(int32_t width, int32_t step) { return static_cast<ptrdiff_t>(width - 1) * step + 1; }

// f.template operator()<S>() for the steps that go in blocks (2, 3 and 4); 0 for any other.
template <typename F>
int32_t WithPackedStep(int32_t step, F&& f) {
  switch (step) {
    case 2: return f.template operator()<2>();
    case 3: return f.template operator()<3>();
    case 4: return f.template operator()<4>();
    default: return 0;
  }
}

template <typename T>
void GatherRow(T* out, const T* row, int32_t width, int32_t step) {
  if (step == 1) {
    memcpy(out, row, static_cast<size_t>(width) * sizeof(T));
    return;
  }
  int32_t x = 0;
  if constexpr (sizeof(T) == 1) {
    x = WithPackedStep(step, [&]<int32_t S>() { return GatherBlocks<S>(out, row, PackedSpan(width, step)); });
  }
  for (; x < width; ++x) out[x] = row[static_cast<ptrdiff_t>(x) * step];
}

template <typename T>
void ScatterRow(T* row, const T* in, int32_t width, int32_t step) {
  if (step == 1) {
    memcpy(row, in, static_cast<size_t>(width) * sizeof(T));
    return;
  }
  int32_t x = 0;
  if constexpr (sizeof(T) == 1) {
    x = WithPackedStep(step, [&]<int32_t S>() { return ScatterBlocks<S>(row, in, PackedSpan(width, step)); });
  }
  for (; x < width; ++x) row[static_cast<ptrdiff_t>(x) * step] = in[x];
}

// The channel as contiguous rows: itself when plain, else gathered row by row into `plane`
// (width · height samples).
template <typename T>
Channel<const T> ContiguousChannel(Channel<const T> src, const ChannelShape& s, T* plane) {
  if (s.step == 1) return src;
  for (int32_t y = 0; y < s.height; ++y) {
    GatherRow(plane + static_cast<ptrdiff_t>(y) * s.width, RowOf(src, y), s.width, s.step);
  }
  return {plane, s.width * static_cast<int32_t>(sizeof(T))};
}

// Where an output row goes: a plain channel's whole blocks straight into the destination row;
// its last partial block, and a packed row whole, through `rowOut` (whole vectors wide), which
// Finish then moves into place.
template <typename T>
struct RowOutput {
  T* dstRow;
  T* rowOut;
  int32_t width;
  int32_t step;

  // Where the block of `lanes` samples from column x is written.
  T* Block(int32_t x, int32_t lanes) const { return step == 1 && x + lanes <= width ? dstRow + x : rowOut + x; }
  void Finish(int32_t lanes) const {
    if (step != 1) {
      ScatterRow(dstRow, rowOut, width, step);
      return;
    }
    const int32_t done = width - width % lanes;
    if (done < width) memcpy(dstRow + done, rowOut + done, static_cast<size_t>(width - done) * sizeof(T));
  }
};

}  // namespace
}  // namespace sorvan
