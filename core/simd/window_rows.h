// The walk down a channel of the Gaussian row loops that class rows by their samples (how wide
// their sums may grow): for each output row, the 2·M + 1 rows of its window, mirrored at the
// edges, and the widest class among them.
#pragma once

#include "core/mirror.h"
#include "core/simd/channel_rows.h"

namespace sorvan {
namespace {

// row(rows, interior, widest, y) for every output row y, rows[M] being row y itself.
// classify(row) is a row's class, taken once as the row first enters the window; a negative
// class stops the walk, and the function returns false (the rest is left to the caller).
template <int32_t M, typename T, typename Classify, typename Row>
[[gnu::always_inline]] inline bool ForEachWindow(Channel<const T> plane, int32_t height, Classify&& classify,
                                                 Row&& row) {
  // The window spans at most 2·M + 1 ≤ 17 consecutive rows (mirrored rows are among them), so
  // a ring of 32 classes serves.
  int32_t classes[32];
  auto admit = [&](int32_t y) {
    classes[y & 31] = classify(RowOf(plane, y));
    return classes[y & 31] >= 0;
  };
  for (int32_t y = 0; y <= M && y < height; ++y) {
    if (!admit(y)) return false;
  }
  const T* rows[2 * M + 1];
  for (int32_t y = 0; y < height; ++y) {
    if (y > 0 && y + M < height && !admit(y + M)) return false;
    int32_t widest = 0;
    for (int32_t k = 0; k <= 2 * M; ++k) {
      const int32_t r = Mirror(y - M + k, height);
      rows[k] = RowOf(plane, r);
      widest = classes[r & 31] > widest ? classes[r & 31] : widest;
    }
    row(static_cast<const T* const*>(rows), y >= M && y < height - M, widest, y);
  }
  return true;
}

}  // namespace
}  // namespace sorvan
