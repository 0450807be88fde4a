// The per-channel pixel routines for every sample type, as tables of function pointers. The
// portable reference (reference_kernels.h) is literal and defines the result; faster tables
// share these signatures and are chosen once per plan.
#pragma once

#include "core/scratch_pool.h"

namespace sorvan {

// One channel of one frame: sample (y, x) is at base + y·pitch bytes + x·step samples.
template <typename T>
struct Channel {
  T* base;
  int32_t pitch;  // bytes
};

struct ChannelShape {
  int32_t width;   // samples a row
  int32_t height;  // rows
  int32_t step;    // samples from one of the channel's samples to the next
};

// The Gaussian average's fixed-point table: `window` taps in units of 1/1024 summing to 1024.
struct GaussianParams {
  const int32_t* taps;
  int32_t window;
  int32_t surroundWeight;  // 2^20 − centreWeightSq
  int32_t centreWeightSq;  // the centre tap squared
};

// Sums and limits by sample type: 8- and B-bit integers sum in 32 bits, the second Gaussian
// pass of B-bit samples in 64; float works in double.
template <typename T>
struct SampleTraits;
template <>
struct SampleTraits<uint8_t> {
  static constexpr bool kFloat = false;
  using RowSum = int32_t;
  using ColumnSum = int32_t;
  using Limit = int32_t;
};
template <>
struct SampleTraits<uint16_t> {
  static constexpr bool kFloat = false;
  using RowSum = int32_t;
  using ColumnSum = int64_t;
  using Limit = int32_t;
};
template <>
struct SampleTraits<float> {
  static constexpr bool kFloat = true;
  using RowSum = double;
  using ColumnSum = double;
  using Limit = double;
};

// A sample keeps the source where s − a > positive or s − a < −negative.
template <typename T>
struct MergeLimits {
  typename SampleTraits<T>::Limit positive;
  typename SampleTraits<T>::Limit negative;
};

// Sample (y, x) of a channel.
template <typename T>
constexpr T* SampleAt(Channel<T> c, int32_t step, int32_t y, int32_t x) {
  using Byte = typename ConstLike<T, uint8_t>::Type;
  return reinterpret_cast<T*>(reinterpret_cast<Byte*>(c.base) + static_cast<ptrdiff_t>(y) * c.pitch) +
         static_cast<ptrdiff_t>(x) * step;
}

template <typename T>
struct SampleKernels {
  const char* name;
  // Average of src into dst. The Gaussian uses the scratch's row-sum plane (width·height
  // entries), the box its offset table (window² entries); fast paths also its workspace.
  void (*gaussian)(Channel<T> dst, Channel<const T> src, const ChannelShape& shape, const GaussianParams& g,
                   const ScratchBlock& scratch);
  void (*box)(Channel<T> dst, Channel<const T> src, const ChannelShape& shape, int32_t window,
              const ScratchBlock& scratch);
  // Puts the source back where it departs from the smoothed sample beyond the limits; `out` may
  // be the smoothed channel itself.
  void (*limitMerge)(Channel<T> out, Channel<const T> src, Channel<const T> smoothed, const ChannelShape& shape,
                     const MergeLimits<T>& limits);
  // Copies the channel's samples and no other byte.
  void (*copy)(Channel<T> dst, Channel<const T> src, const ChannelShape& shape);
  // Gaussian average and merge in one pass, the same result as the two; null: one after the other.
  void (*gaussianMerge)(Channel<T> dst, Channel<const T> src, const ChannelShape& shape, const GaussianParams& g,
                        const MergeLimits<T>& limits, const ScratchBlock& scratch);
  // Workspace bytes for channels up to this width; 0 when the table needs none.
  size_t (*workspaceBytes)(int32_t maxWidth);
};

}  // namespace sorvan
