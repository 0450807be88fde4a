// The portable reference routines, generic over the sample type (uint8_t, uint16_t, float).
// Plain and literal: they define the result every faster path is tested against.
#pragma once

#include "core/kernels/sample_kernels.h"

namespace sorvan {

// Gaussian average of the window × window neighbourhood in two passes, rows into `rowSums`
// (width·height entries) and then columns. Interior rows leave the centre sample out.
// Needs width ≥ 2·rad and height ≥ 2·rad.
template <typename T>
void GaussianSurroundAverage(Channel<T> dst, Channel<const T> src, const ChannelShape& shape, const GaussianParams& g,
                             typename SampleTraits<T>::RowSum* rowSums);

// Box average of the window × window square, the centre included: 20-bit fixed point for
// integers, the plain mean for float. `boxOffsets` (window² entries) is rewritten on every call.
// Needs width, height ≥ window.
template <typename T>
void BoxAverage(Channel<T> dst, Channel<const T> src, const ChannelShape& shape, int32_t window, int32_t* boxOffsets);

template <typename T>
void LimitMerge(Channel<T> out, Channel<const T> src, Channel<const T> smoothed, const ChannelShape& shape,
                const MergeLimits<T>& limits);

template <typename T>
void CopyChannel(Channel<T> dst, Channel<const T> src, const ChannelShape& shape);

template <typename T>
const SampleKernels<T>& ReferenceKernels();

#define SORVAN_REFERENCE_KERNELS(T)                                                                         \
  extern template void GaussianSurroundAverage<T>(Channel<T>, Channel<const T>, const ChannelShape&,        \
                                                  const GaussianParams&, SampleTraits<T>::RowSum*);         \
  extern template void BoxAverage<T>(Channel<T>, Channel<const T>, const ChannelShape&, int32_t, int32_t*); \
  extern template void LimitMerge<T>(Channel<T>, Channel<const T>, Channel<const T>, const ChannelShape&,   \
                                     const MergeLimits<T>&);                                                \
  extern template void CopyChannel<T>(Channel<T>, Channel<const T>, const ChannelShape&);                   \
  extern template const SampleKernels<T>& ReferenceKernels<T>();
SORVAN_REFERENCE_KERNELS(uint8_t)
SORVAN_REFERENCE_KERNELS(uint16_t)
SORVAN_REFERENCE_KERNELS(float)
#undef SORVAN_REFERENCE_KERNELS

}  // namespace sorvan
