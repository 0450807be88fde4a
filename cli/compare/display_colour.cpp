#include "cli/compare/display_colour.h"

#include <algorithm>
#include <cmath>

namespace sorvan::cli {
namespace {

struct LumaWeights {
  double kr, kb;
};

LumaWeights WeightsOf(YuvMatrix matrix) {
  switch (matrix) {
    case YuvMatrix::kBt601: return {0.299, 0.114};
    case YuvMatrix::kBt2020: return {0.2627, 0.0593};
    case YuvMatrix::kBt709: break;
  }
  return {0.2126, 0.0722};
}

uint8_t ToByte(double level) { return static_cast<uint8_t>(std::lround(std::clamp(level, 0.0, 255.0))); }

// Y' in 0 … 1 and Cb, Cr in −0.5 … 0.5 to RGB in 0 … 255 levels.
void YuvToRgb(double y, double cb, double cr, YuvMatrix matrix, double rgb[3]) {
  const LumaWeights w = WeightsOf(matrix);
  const double kg = 1 - w.kr - w.kb;
  const double r = y + 2 * (1 - w.kr) * cr;
  const double b = y + 2 * (1 - w.kb) * cb;
  const double g = (y - w.kr * r - w.kb * b) / kg;
  rgb[0] = r * 255;
  rgb[1] = g * 255;
  rgb[2] = b * 255;
}

}  // namespace

std::optional<YuvMatrix> ParseMatrix(std::string_view name) {
  if (name == "709") return YuvMatrix::kBt709;
  if (name == "601") return YuvMatrix::kBt601;
  if (name == "2020") return YuvMatrix::kBt2020;
  return std::nullopt;
}

std::optional<bool> ParseFullRange(std::string_view name) {
  if (name == "limited") return false;
  if (name == "full") return true;
  return std::nullopt;
}

const char* MatrixName(YuvMatrix matrix) {
  switch (matrix) {
    case YuvMatrix::kBt601: return "601";
    case YuvMatrix::kBt2020: return "2020";
    case YuvMatrix::kBt709: break;
  }
  return "709";
}

Rgb DisplayPixel(ColourFamily family, const double levels[3], const DisplaySettings& settings) {
  switch (family) {
    case ColourFamily::kGray: {
      const uint8_t v = ToByte(levels[0]);
      return {v, v, v};
    }
    case ColourFamily::kRgb: return {ToByte(levels[2]), ToByte(levels[1]), ToByte(levels[0])};
    case ColourFamily::kYuv: break;
  }
  double rgb[3];
  if (settings.fullRange) {
    YuvToRgb(levels[0] / 255, (levels[1] - 128) / 255, (levels[2] - 128) / 255, settings.matrix, rgb);
  } else {
    YuvToRgb((levels[0] - 16) / 219, (levels[1] - 128) / 224, (levels[2] - 128) / 224, settings.matrix, rgb);
  }
  return {ToByte(rgb[0]), ToByte(rgb[1]), ToByte(rgb[2])};
}

Rgb DifferencePixel(ColourFamily family, const double changes[3], YuvMatrix matrix) {
  double amplified[3];
  for (int32_t c = 0; c < 3; ++c) {
    amplified[c] = std::clamp(kNoChange + kChangeGain * changes[c], 0.0, 255.0);
  }
  switch (family) {
    case ColourFamily::kGray: {
      const uint8_t v = ToByte(amplified[0]);
      return {v, v, v};
    }
    case ColourFamily::kRgb: return {ToByte(amplified[2]), ToByte(amplified[1]), ToByte(amplified[0])};
    case ColourFamily::kYuv: break;
  }
  double rgb[3];
  YuvToRgb(amplified[0] / 255, (amplified[1] - 128) / 255, (amplified[2] - 128) / 255, matrix, rgb);
  return {ToByte(rgb[0]), ToByte(rgb[1]), ToByte(rgb[2])};
}

Rgb LimitsPixel(Rgb source, bool restored) {
  if (restored) return kRestoredMarker;
  // BT.709's weights in 1/256, on the shown levels.
  const int32_t brightness = (54 * source.r + 183 * source.g + 19 * source.b + 128) >> 8;
  const auto grey = static_cast<uint8_t>(32 + brightness / 2);
  return {grey, grey, grey};
}

}  // namespace sorvan::cli
