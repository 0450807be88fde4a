#include "cli/compare/compare_picture.h"

#include <algorithm>

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

void Put(RgbImage image, int32_t x, int32_t y, Rgb colour) {
  uint8_t* p = image.pixels + (static_cast<size_t>(y) * image.width + x) * 3;
  p[0] = colour.r;
  p[1] = colour.g;
  p[2] = colour.b;
}

}  // namespace

PictureLayout LayoutPicture(int32_t panelWidth, int32_t panelHeight, std::string_view caption) {
  PictureLayout l{};
  l.textScale = std::clamp(panelWidth / 320, 1, 4);
  const int32_t border = 6 * l.textScale;
  const int32_t gap = 4 * l.textScale;
  const int32_t textHeight = kGlyphHeight * l.textScale;
  int32_t slot = panelWidth;
  for (const char* label : kPanelLabels) slot = std::max(slot, TextWidth(label, l.textScale));
  const int32_t panelsWidth = 3 * slot + 2 * border;
  l.width = 2 * border + std::max(panelsWidth - 2 * border, TextWidth(caption, l.textScale));
  l.width = std::max(l.width, panelsWidth);
  for (int32_t i = 0; i < 3; ++i) l.panelX[i] = border + i * (slot + border);
  l.labelY = border;
  l.panelY = l.labelY + textHeight + gap;
  l.captionX = border;
  l.captionY = l.panelY + panelHeight + gap;
  l.height = l.captionY + textHeight + border;
  return l;
}

Picture DrawComparison(const FrameFormat& format, const uint8_t* source, const uint8_t* filtered,
                       const FrameChange& change, const DisplaySettings& settings, const CropRegion& region,
                       std::string_view caption) {
  Picture picture;
  picture.layout = LayoutPicture(region.width, region.height, caption);
  const PictureLayout& l = picture.layout;
  picture.pixels.resize(static_cast<size_t>(l.width) * l.height * 3);
  RgbImage image = picture.Image();
  Fill(image, kPictureBackground);
  for (int32_t i = 0; i < 3; ++i) DrawText(image, l.panelX[i], l.labelY, kPanelLabels[i], l.textScale, kPictureText);
  DrawText(image, l.captionX, l.captionY, caption, l.textScale, kPictureText);

  const ColourFamily family = format.video.family;
  ChannelGeometry geometry[kColourChannels] = {};
  for (int32_t c = 0; c < change.channelCount; ++c) geometry[c] = GeometryOf(format, c);
  for (int32_t y = 0; y < region.height; ++y) {
    for (int32_t x = 0; x < region.width; ++x) {
      double before[3] = {};
      double after[3] = {};
      double difference[3] = {};
      bool restored = false;
      for (int32_t c = 0; c < change.channelCount; ++c) {
        const ChannelGeometry& g = geometry[c];
        const int32_t cx = (region.x + x) >> g.xShift;
        const int32_t cy = (region.y + y) >> g.yShift;
        const size_t at = SampleOffset(g, cx, cy);
        before[c] = SampleLevel(format.video, c, source + at);
        after[c] = SampleLevel(format.video, c, filtered + at);
        difference[c] = after[c] - before[c];
        const std::vector<uint8_t>& mask = change.channels[c].restoredMask;
        if (!mask.empty() && mask[static_cast<size_t>(cy) * g.width + cx] != 0) restored = true;
      }
      Put(image, l.panelX[0] + x, l.panelY + y, DisplayPixel(family, before, settings));
      Put(image, l.panelX[1] + x, l.panelY + y, DisplayPixel(family, after, settings));
      Put(image, l.panelX[2] + x, l.panelY + y,
          restored ? kRestoredMarker : DifferencePixel(family, difference, settings.matrix));
    }
  }
  return picture;
}

}  // namespace sorvan::cli
