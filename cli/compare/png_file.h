// The comparison picture as PNG bytes, through libpng's simplified interface (which handles its
// own errors without longjmp reaching our frames).
#pragma once

#include <cstdint>
#include <vector>

#include "cli/compare/bitmap_font.h"

namespace sorvan::cli {

// 8-bit RGB, no alpha. Throws CommandError when libpng refuses.
std::vector<uint8_t> EncodePng(const RgbImage& image);

}  // namespace sorvan::cli
