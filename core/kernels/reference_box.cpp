// Reference box average. Integers: border bands summed directly with reflection, the interior
// by a running sum along each row that starts afresh from the offset table, in 20-bit fixed
// point. Float: the plain mean of every reflected square.
#include "core/kernels/reference_kernels.h"
#include "core/mirror.h"

namespace sorvan {
namespace {

constexpr int32_t kUnit = 1 << 20;

template <typename T, typename Sum>
Sum ReflectedWindowSum(Channel<const T> src, const ChannelShape& s, int32_t radius, int32_t y, int32_t x) {
  Sum sum = 0;
  for (int32_t dy = -radius; dy <= radius; ++dy) {
    const int32_t row = Mirror(y + dy, s.height);
    for (int32_t dx = -radius; dx <= radius; ++dx) sum += *SampleAt(src, s.step, row, Mirror(x + dx, s.width));
  }
  return sum;
}

template <typename T>
void IntegerBox(Channel<T> dst, Channel<const T> src, const ChannelShape& s, int32_t window, int32_t* boxOffsets) {
  const int32_t radius = window / 2;
  // Truncated, so a flat area of v comes out a little below v: the filter has always done so.
  const int64_t scale = kUnit / (window * window);
  auto store = [&](int32_t y, int32_t x, int32_t sum) {
    *SampleAt(dst, s.step, y, x) = static_cast<T>((sum * scale) >> 20);
  };
  auto storeReflected = [&](int32_t y, int32_t x) {
    store(y, x, ReflectedWindowSum<T, int32_t>(src, s, radius, y, x));
  };

  // Left and right bands, then top and bottom bands, each radius + 1 samples deep.
  for (int32_t y = 0; y <= s.height - 1 - radius; ++y) {
    for (int32_t i = 0; i <= radius; ++i) {
      storeReflected(y, i);
      storeReflected(y, s.width - 1 - i);
    }
  }
  for (int32_t x = 0; x < s.width; ++x) {
    for (int32_t i = 0; i <= radius; ++i) {
      storeReflected(i, x);
      storeReflected(s.height - 1 - i, x);
    }
  }

  // Byte offsets of the square's samples from its top-left one, for this channel's layout.
  const int32_t sampleStep = s.step * static_cast<int32_t>(sizeof(T));
  for (int32_t a = 0; a < window; ++a) {
    for (int32_t b = 0; b < window; ++b) boxOffsets[a * window + b] = a * src.pitch + b * sampleStep;
  }

  // Interior: each row's first square through the table, then one column in and one out.
  for (int32_t y = 0; y <= s.height - 1 - window; ++y) {
    const uint8_t* corner = reinterpret_cast<const uint8_t*>(SampleAt(src, s.step, y, 0));
    int32_t sum = 0;
    for (int32_t t = 0; t < window * window; ++t) sum += *reinterpret_cast<const T*>(corner + boxOffsets[t]);
    store(y + radius, radius, sum);
    for (int32_t k = 0; k <= s.width - window - 2; ++k) {
      for (int32_t r = y; r < y + window; ++r) {
        sum += *SampleAt(src, s.step, r, k + window);
        sum -= *SampleAt(src, s.step, r, k);
      }
      store(y + radius, k + 1 + radius, sum);
    }
  }
}

}  // namespace

template <typename T>
void BoxAverage(Channel<T> dst, Channel<const T> src, const ChannelShape& s, int32_t window, int32_t* boxOffsets) {
  if constexpr (SampleTraits<T>::kFloat) {
    const int32_t radius = window / 2;
    const double area = static_cast<double>(window) * window;
    for (int32_t y = 0; y < s.height; ++y) {
      for (int32_t x = 0; x < s.width; ++x) {
        *SampleAt(dst, s.step, y, x) = static_cast<T>(ReflectedWindowSum<T, double>(src, s, radius, y, x) / area);
      }
    }
  } else {
    IntegerBox(dst, src, s, window, boxOffsets);
  }
}

template void BoxAverage<uint8_t>(Channel<uint8_t>, Channel<const uint8_t>, const ChannelShape&, int32_t, int32_t*);
template void BoxAverage<uint16_t>(Channel<uint16_t>, Channel<const uint16_t>, const ChannelShape&, int32_t, int32_t*);
template void BoxAverage<float>(Channel<float>, Channel<const float>, const ChannelShape&, int32_t, int32_t*);

}  // namespace sorvan
