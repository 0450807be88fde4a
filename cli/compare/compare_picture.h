// The comparison picture: four panels in two rows under their labels (source, filtered; the
// difference, and where the limits put samples back), each the region shown enlarged by a whole
// factor (nearest neighbour), and a caption under them, wrapped to the panels' width. Chroma of
// subsampled formats is shown at luma size by repeating each sample.
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
inline constexpr int32_t kPanels = 4;
inline constexpr const char* kPanelLabels[kPanels] = {"source", "filtered", "difference", "limits"};

// Where everything sits in the picture.
struct PictureLayout {
  int32_t width;
  int32_t height;
  int32_t textScale;  // the font's scale: larger panels get larger text
  int32_t zoom;
  int32_t panelWidth;  // the region's size times the zoom
  int32_t panelHeight;
  int32_t panelX[kPanels];  // top-left corner of each panel; its label is above it
  int32_t panelY[kPanels];
  int32_t labelY[kPanels];
  int32_t captionX;
  int32_t captionY;     // top of the caption's first line
  int32_t lineAdvance;  // from one caption line to the next
  std::vector<std::string> captionLines;
};

PictureLayout LayoutPicture(int32_t regionWidth, int32_t regionHeight, int32_t zoom, std::string_view caption);

struct Picture {
  PictureLayout layout;
  std::vector<uint8_t> pixels;  // RGB
  RgbImage Image() { return {layout.width, layout.height, pixels.data()}; }
};

// `source` and `filtered` are frames of `format`; `region` lies inside the frame.
Picture DrawComparison(const FrameFormat& format, const uint8_t* source, const uint8_t* filtered,
                       const FrameChange& change, const DisplaySettings& settings, const CropRegion& region,
                       int32_t zoom, std::string_view caption);

}  // namespace sorvan::cli
