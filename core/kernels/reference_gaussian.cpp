// Reference Gaussian surround average: two literal passes, rows into the row-sum plane and then
// columns into the destination.
#include "core/kernels/reference_kernels.h"
#include "core/mirror.h"

namespace sorvan {
namespace {

constexpr int32_t kUnitShift = 20;  // two passes of 1024

template <typename T>
typename SampleTraits<T>::RowSum RowSum(Channel<const T> src, const ChannelShape& s, const GaussianParams& g, int32_t y,
                                        int32_t x, bool mirrored) {
  const int32_t m = g.window / 2;
  typename SampleTraits<T>::RowSum sum = 0;
  for (int32_t k = 0; k < g.window; ++k) {
    const int32_t column = mirrored ? Mirror(x - m + k, s.width) : x - m + k;
    sum += static_cast<typename SampleTraits<T>::RowSum>(g.taps[k]) * *SampleAt(src, s.step, y, column);
  }
  return sum;
}

template <typename T>
typename SampleTraits<T>::ColumnSum ColumnSum(const typename SampleTraits<T>::RowSum* rows, const ChannelShape& s,
                                              const GaussianParams& g, int32_t y, int32_t x, bool mirrored) {
  const int32_t m = g.window / 2;
  typename SampleTraits<T>::ColumnSum sum = 0;
  for (int32_t k = 0; k < g.window; ++k) {
    const int32_t row = mirrored ? Mirror(y - m + k, s.height) : y - m + k;
    sum +=
        static_cast<typename SampleTraits<T>::ColumnSum>(g.taps[k]) * rows[static_cast<ptrdiff_t>(row) * s.width + x];
  }
  return sum;
}

// Integers: u = 512 + Σ; edge rows u >> 20, interior rows (u − centre's share) / surround, floored.
template <typename T>
T EdgeValue(typename SampleTraits<T>::ColumnSum u) {
  return static_cast<T>((u + (1 << (kUnitShift / 2 - 1))) >> kUnitShift);
}
template <typename T>
T InteriorValue(typename SampleTraits<T>::ColumnSum u, T centre, const GaussianParams& g) {
  using Sum = typename SampleTraits<T>::ColumnSum;
  const Sum d = u + (1 << (kUnitShift / 2 - 1)) - static_cast<Sum>(g.centreWeightSq) * centre;
  return static_cast<T>(d / g.surroundWeight);
}
// Float: the same sums without rounding term or floor, rounded once to float.
template <>
float EdgeValue<float>(double u) {
  return static_cast<float>(u / static_cast<double>(1 << kUnitShift));
}
template <>
float InteriorValue<float>(double u, float centre, const GaussianParams& g) {
  return static_cast<float>((u - static_cast<double>(g.centreWeightSq) * centre) /
                            static_cast<double>(g.surroundWeight));
}

}  // namespace

template <typename T>
void GaussianSurroundAverage(Channel<T> dst, Channel<const T> src, const ChannelShape& s, const GaussianParams& g,
                             typename SampleTraits<T>::RowSum* rowSums) {
  const int32_t m = g.window / 2;

  // First pass: every row, edge columns (mirrored) in pairs, then the middle.
  for (int32_t y = 0; y < s.height; ++y) {
    typename SampleTraits<T>::RowSum* row = rowSums + static_cast<ptrdiff_t>(y) * s.width;
    for (int32_t i = 0; i < m; ++i) {
      row[i] = RowSum(src, s, g, y, i, true);
      row[s.width - 1 - i] = RowSum(src, s, g, y, s.width - 1 - i, true);
    }
    for (int32_t x = m; x < s.width - m; ++x) row[x] = RowSum(src, s, g, y, x, false);
  }

  // Second pass: every column. Edge rows keep the sample itself; interior rows take its own
  // share off and divide by the weight of everything else.
  for (int32_t x = 0; x < s.width; ++x) {
    for (int32_t i = 0; i < m; ++i) {
      const int32_t edgeRows[2] = {i, s.height - 1 - i};
      for (const int32_t y : edgeRows) {
        *SampleAt(dst, s.step, y, x) = EdgeValue<T>(ColumnSum<T>(rowSums, s, g, y, x, true));
      }
    }
    for (int32_t y = m; y < s.height - m; ++y) {
      const auto u = ColumnSum<T>(rowSums, s, g, y, x, false);
      *SampleAt(dst, s.step, y, x) = InteriorValue<T>(u, *SampleAt(src, s.step, y, x), g);
    }
  }
}

template void GaussianSurroundAverage<uint8_t>(Channel<uint8_t>, Channel<const uint8_t>, const ChannelShape&,
                                               const GaussianParams&, int32_t*);
template void GaussianSurroundAverage<uint16_t>(Channel<uint16_t>, Channel<const uint16_t>, const ChannelShape&,
                                                const GaussianParams&, int32_t*);
template void GaussianSurroundAverage<float>(Channel<float>, Channel<const float>, const ChannelShape&,
                                             const GaussianParams&, double*);

}  // namespace sorvan
