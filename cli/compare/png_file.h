// The comparison picture as PNG, through libpng's simplified interface (which handles its own
// errors without longjmp reaching our frames).
#pragma once

#include "cli/byte_io.h"
#include "cli/compare/bitmap_font.h"

namespace sorvan::cli {

// 8-bit RGB, no alpha, encoded once, for speed (libpng's fast setting: about three times
// faster than its default for some 5 % more bytes), and written to `sink`. Throws CommandError
// when libpng refuses.
void WritePng(const RgbImage& image, ByteSink& sink);

}  // namespace sorvan::cli
