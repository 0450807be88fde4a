// Edge reflection shared by both averages: the edge sample is the mirror axis and is not
// repeated (−1 reads 1, L reads L−2). Valid for positions −(L−1) … 2·(L−1).
#pragma once

#include "core/portability.h"

namespace sorvan {

constexpr int32_t Mirror(int32_t position, int32_t length) {
  if (position < 0) return -position;
  if (position > length - 1) return 2 * (length - 1) - position;
  return position;
}

}  // namespace sorvan
