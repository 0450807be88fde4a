// How the comparison picture turns samples into 8-bit RGB for the screen.
//
// Source and filtered frames: YUV through the chosen matrix and range (BT.709, limited range
// unless the Y4M tags or --matrix/--range say otherwise; float YUV is always full range), RGB as
// it is, gray as gray; every level clamped to 0 … 255 and rounded.
//
// The difference panel shows, per channel, 128 + 8 × (filtered − source) in 8-bit levels: for
// RGB and gray directly as that channel's colour, for YUV as a full-range YUV pixel made of the
// three amplified changes, converted with the same matrix (so a change of Y shows as lighter or
// darker grey, of U as blue or yellow, of V as red or cyan). Where nothing changed the pixel is
// exactly (128, 128, 128).
//
// The limits panel shows the source's brightness in grey, held to 32 … 159 so that marks stand
// out, and pure magenta (255, 0, 255), which no grey can be, where a limit put a sample back.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "cli/compare/bitmap_font.h"
#include "core/formats/video_format.h"

namespace sorvan::cli {

enum class YuvMatrix : uint8_t { kBt709, kBt601, kBt2020 };

struct DisplaySettings {
  YuvMatrix matrix = YuvMatrix::kBt709;
  bool fullRange = false;
};

std::optional<YuvMatrix> ParseMatrix(std::string_view name);  // "709", "601", "2020"
std::optional<bool> ParseFullRange(std::string_view name);    // "limited", "full"
const char* MatrixName(YuvMatrix matrix);

inline constexpr Rgb kRestoredMarker = {255, 0, 255};
inline constexpr uint8_t kNoChange = 128;
inline constexpr int32_t kChangeGain = 8;

// A pixel of the source or filtered panel from its three channels in 8-bit levels (gray: the
// first alone).
Rgb DisplayPixel(ColourFamily family, const double levels[3], const DisplaySettings& settings);

// A pixel of the difference panel from the change of each channel in 8-bit levels.
Rgb DifferencePixel(ColourFamily family, const double changes[3], YuvMatrix matrix);

// A pixel of the limits panel from the source pixel as shown.
Rgb LimitsPixel(Rgb source, bool restored);

}  // namespace sorvan::cli
