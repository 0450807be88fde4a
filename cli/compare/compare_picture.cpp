#include "cli/compare/compare_picture.h"

#include <algorithm>
#include <cstring>

#include "cli/compare/channel_samples.h"

namespace sorvan::cli {
namespace {

void Fill(RgbImage image, Rgb colour) {
  for (size_t i = 0; i < static_cast<size_t>(image.width) * image.height; ++i) {
    image.pixels[i * 3] = colour.r;
    image.pixels[i * 3 + 1] = colour.g;
    image.pixels[i * 3 + 2] = colour.b;
  }
}

// Puts `colour` `zoom` times, from `at` on.
uint8_t* PutRepeated(uint8_t* at, Rgb colour, int32_t zoom) {
  for (int32_t i = 0; i < zoom; ++i) {
    *at++ = colour.r;
    *at++ = colour.g;
    *at++ = colour.b;
  }
  return at;
}

}  // namespace

PictureLayout LayoutPicture(int32_t regionWidth, int32_t regionHeight, int32_t zoom, std::string_view caption) {
  PictureLayout l{};
  l.zoom = zoom;
  l.panelWidth = regionWidth * zoom;
  l.panelHeight = regionHeight * zoom;
  l.textScale = std::clamp(l.panelWidth / 240, 1, 4);
  const int32_t border = 6 * l.textScale;
  const int32_t gap = 4 * l.textScale;
  const int32_t textHeight = kGlyphHeight * l.textScale;
  int32_t slot = l.panelWidth;
  for (const char* label : kPanelLabels) slot = std::max(slot, TextWidth(label, l.textScale));
  l.width = 3 * border + 2 * slot;
  for (int32_t i = 0; i < kPanels; ++i) {
    l.panelX[i] = border + (i % 2) * (slot + border);
    l.labelY[i] = border + (i / 2) * (textHeight + gap + l.panelHeight + border);
    l.panelY[i] = l.labelY[i] + textHeight + gap;
  }
  l.captionX = border;
  l.captionY = l.panelY[kPanels - 1] + l.panelHeight + gap;
  l.lineAdvance = textHeight + 3 * l.textScale;
  // The caption takes the panels' width, never more.
  l.captionLines = WrapText(caption, l.width - 2 * border, l.textScale);
  const auto lines = static_cast<int32_t>(l.captionLines.size());
  l.height = l.captionY + std::max(lines - 1, 0) * l.lineAdvance + textHeight + border;
  return l;
}

Picture DrawComparison(const FrameFormat& format, const uint8_t* source, const uint8_t* filtered,
                       const FrameChange& change, const DisplaySettings& settings, const CropRegion& region,
                       int32_t zoom, std::string_view caption) {
  Picture picture;
  picture.layout = LayoutPicture(region.width, region.height, zoom, caption);
  const PictureLayout& l = picture.layout;
  picture.pixels.resize(static_cast<size_t>(l.width) * l.height * 3);
  RgbImage image = picture.Image();
  Fill(image, kPictureBackground);
  for (int32_t i = 0; i < kPanels; ++i)
    DrawText(image, l.panelX[i], l.labelY[i], kPanelLabels[i], l.textScale, kPictureText);
  for (size_t i = 0; i < l.captionLines.size(); ++i) {
    DrawText(image, l.captionX, l.captionY + static_cast<int32_t>(i) * l.lineAdvance, l.captionLines[i], l.textScale,
             kPictureText);
  }

  const ColourFamily family = format.video.family;
  ChannelGeometry geometry[kColourChannels] = {};
  for (int32_t c = 0; c < change.channelCount; ++c) geometry[c] = GeometryOf(format, c);
  const size_t rowBytes = static_cast<size_t>(l.panelWidth) * 3;
  for (int32_t y = 0; y < region.height; ++y) {
    // One row of each panel, then repeated down for the zoom.
    uint8_t* rows[kPanels];
    for (int32_t i = 0; i < kPanels; ++i) {
      rows[i] = image.pixels + (static_cast<size_t>(l.panelY[i] + y * zoom) * l.width + l.panelX[i]) * 3;
    }
    uint8_t* at[kPanels] = {rows[0], rows[1], rows[2], rows[3]};
    for (int32_t x = 0; x < region.width; ++x) {
      double before[3] = {};
      double after[3] = {};
      double difference[3] = {};
      bool restored = false;
      for (int32_t c = 0; c < change.channelCount; ++c) {
        const ChannelGeometry& g = geometry[c];
        const int32_t cx = (region.x + x) >> g.xShift;
        const int32_t cy = (region.y + y) >> g.yShift;
        const size_t offset = SampleOffset(g, cx, cy);
        before[c] = SampleLevel(format.video, c, source + offset);
        after[c] = SampleLevel(format.video, c, filtered + offset);
        difference[c] = after[c] - before[c];
        const std::vector<uint8_t>& mask = change.channels[c].restoredMask;
        if (!mask.empty() && mask[static_cast<size_t>(cy) * g.width + cx] != 0) restored = true;
      }
      const Rgb shown = DisplayPixel(family, before, settings);
      at[0] = PutRepeated(at[0], shown, zoom);
      at[1] = PutRepeated(at[1], DisplayPixel(family, after, settings), zoom);
      at[2] = PutRepeated(at[2], DifferencePixel(family, difference, settings.matrix), zoom);
      at[3] = PutRepeated(at[3], LimitsPixel(shown, restored), zoom);
    }
    for (int32_t i = 0; i < kPanels; ++i) {
      for (int32_t copy = 1; copy < zoom; ++copy) {
        std::memcpy(rows[i] + static_cast<size_t>(copy) * l.width * 3, rows[i], rowBytes);
      }
    }
  }
  return picture;
}

}  // namespace sorvan::cli
