// Byte address of element (row, column) of a strided 2-D view, in pointer-sized arithmetic so
// that row × pitch cannot overflow 32 bits on large frames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sorvan::testing {

template <typename Byte>
constexpr Byte* At(Byte* base, int32_t pitch, int32_t row, int32_t column, int32_t step) {
  return base + static_cast<ptrdiff_t>(row) * pitch + static_cast<ptrdiff_t>(column) * step;
}

}  // namespace sorvan::testing
