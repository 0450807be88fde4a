// The comparison picture: three panels side by side (source, filtered, difference) under their
// labels, each the size of the region shown, and a one-line caption under them. Chroma of
// subsampled formats is shown at luma size by repeating each sample (nearest neighbour).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/compare/bitmap_font.h"
#include "cli/compare/compare_options.h"
#include "cli/compare/display_colour.h"
#include "cli/compare/frame_analysis.h"
#include "cli/frame_format.h"

namespace sorvan::cli {

inline constexpr Rgb kPictureBackground = {24, 24, 24};
inline constexpr Rgb kPictureText = {240, 240, 240};
inline constexpr const char* kPanelLabels[3] = {"source", "filtered", "difference"};

// Where everything sits in the picture.
struct PictureLayout {
  int32_t width;
  int32_t height;
  int32_t textScale;  // the font's scale: larger frames get larger text
  int32_t panelX[3];  // left edge of each panel
  int32_t panelY;     // top edge of the panels
  int32_t labelY;     // top of the labels' text
  int32_t captionX;
  int32_t captionY;  // top of the caption's text
};

PictureLayout LayoutPicture(int32_t panelWidth, int32_t panelHeight, std::string_view caption);

struct Picture {
  PictureLayout layout;
  std::vector<uint8_t> pixels;  // RGB
  RgbImage Image() { return {layout.width, layout.height, pixels.data()}; }
};

// `source` and `filtered` are frames of `format`; `region` lies inside the frame.
Picture DrawComparison(const FrameFormat& format, const uint8_t* source, const uint8_t* filtered,
                       const FrameChange& change, const DisplaySettings& settings, const CropRegion& region,
                       std::string_view caption);

}  // namespace sorvan::cli
