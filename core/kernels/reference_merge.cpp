// Reference limit merge and channel copy, and the reference kernel tables.
#include "core/kernels/reference_kernels.h"

namespace sorvan {

template <typename T>
void LimitMerge(Channel<T> out, Channel<const T> src, Channel<const T> smoothed, const ChannelShape& s,
                const MergeLimits<T>& limits) {
  using Limit = typename SampleTraits<T>::Limit;
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) {
      const T source = *SampleAt(src, s.step, y, x);
      const Limit d = static_cast<Limit>(source) - static_cast<Limit>(*SampleAt(smoothed, s.step, y, x));
      if (d > limits.positive || d < -limits.negative) *SampleAt(out, s.step, y, x) = source;
    }
  }
}

template <typename T>
void CopyChannel(Channel<T> dst, Channel<const T> src, const ChannelShape& s) {
  for (int32_t y = 0; y < s.height; ++y) {
    for (int32_t x = 0; x < s.width; ++x) *SampleAt(dst, s.step, y, x) = *SampleAt(src, s.step, y, x);
  }
}

namespace {

template <typename T>
void GaussianEntry(Channel<T> dst, Channel<const T> src, const ChannelShape& shape, const GaussianParams& g,
                   const ScratchBlock& scratch) {
  GaussianSurroundAverage(dst, src, shape, g, scratch.Plane<typename SampleTraits<T>::RowSum>());
}

template <typename T>
void BoxEntry(Channel<T> dst, Channel<const T> src, const ChannelShape& shape, int32_t window,
              const ScratchBlock& scratch) {
  BoxAverage(dst, src, shape, window, scratch.BoxOffsets());
}

size_t NoWorkspace(int32_t) { return 0; }

template <typename T>
constexpr SampleKernels<T> kReference = {"reference",     &GaussianEntry<T>, &BoxEntry<T>, &LimitMerge<T>,
                                         &CopyChannel<T>, nullptr,           &NoWorkspace};

}  // namespace

template <typename T>
const SampleKernels<T>& ReferenceKernels() {
  return kReference<T>;
}

#define SORVAN_INSTANTIATE(T)                                                                      \
  template void LimitMerge<T>(Channel<T>, Channel<const T>, Channel<const T>, const ChannelShape&, \
                              const MergeLimits<T>&);                                              \
  template void CopyChannel<T>(Channel<T>, Channel<const T>, const ChannelShape&);                 \
  template const SampleKernels<T>& ReferenceKernels<T>();
SORVAN_INSTANTIATE(uint8_t)
SORVAN_INSTANTIATE(uint16_t)
SORVAN_INSTANTIATE(float)
#undef SORVAN_INSTANTIATE

}  // namespace sorvan
