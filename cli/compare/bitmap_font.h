// A small bitmap font of our own for the labels of the comparison picture: printable ASCII in
// 5 × 7 cells, drawn at a whole-number scale into an 8-bit RGB image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvan::cli {

inline constexpr int32_t kGlyphWidth = 5;
inline constexpr int32_t kGlyphHeight = 7;
inline constexpr int32_t kGlyphAdvance = kGlyphWidth + 1;  // one column between characters

// Whether the pixel (x, y) of character c's glyph is set; characters outside printable ASCII
// are drawn as '?'.
bool GlyphPixel(char c, int32_t x, int32_t y);

// Width in pixels of `text` drawn at `scale` (no trailing gap).
int32_t TextWidth(std::string_view text, int32_t scale);

// `text` broken into lines no wider than `width` pixels at `scale`: at spaces (which the break
// takes), two spaces in a row preferred, and inside a word only where the word alone is wider.
std::vector<std::string> WrapText(std::string_view text, int32_t width, int32_t scale);

// An 8-bit RGB image, rows top to bottom without padding.
struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* pixels = nullptr;  // width·height·3 bytes, owned by the caller
};

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// Draws `text` with its top-left corner at (x, y); pixels outside the image are skipped.
void DrawText(RgbImage image, int32_t x, int32_t y, std::string_view text, int32_t scale, Rgb colour);

}  // namespace sorvan::cli
