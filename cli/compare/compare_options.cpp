#include "cli/compare/compare_options.h"

#include <fmt/format.h>

#include <algorithm>

#include "cli/command_error.h"
#include "cli/frame_format.h"
#include "cli/options.h"
#include "cli/shown_text.h"

namespace sorvan::cli {

std::optional<CropRegion> ParseCrop(const std::string& text) {
  const size_t x = text.find('x');
  const size_t plus = text.find('+');
  if (x == std::string::npos || plus == std::string::npos || plus < x) return std::nullopt;
  const size_t secondPlus = text.find('+', plus + 1);
  if (secondPlus == std::string::npos) return std::nullopt;
  const std::string_view all(text);
  const std::string_view fields[4] = {all.substr(0, x), all.substr(x + 1, plus - x - 1),
                                      all.substr(plus + 1, secondPlus - plus - 1), all.substr(secondPlus + 1)};
  int64_t values[4] = {};
  for (int32_t i = 0; i < 4; ++i) {
    if (fields[i].empty() || fields[i].find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    const std::optional<int64_t> value = ParseDecimal(fields[i]);
    values[i] = value ? std::min<int64_t>(*value, INT32_MAX) : INT32_MAX;
  }
  if (values[0] == 0 || values[1] == 0) return std::nullopt;
  return CropRegion{static_cast<int32_t>(values[0]), static_cast<int32_t>(values[1]), static_cast<int32_t>(values[2]),
                    static_cast<int32_t>(values[3])};
}

CompareOptions ParseCompareOptions(const std::vector<std::string>* compare, const std::string* crop,
                                   const std::string* zoom, const std::string* matrix, const std::string* range) {
  CompareOptions options;
  if (compare == nullptr) {
    const char* alone = crop != nullptr     ? "--crop"
                        : zoom != nullptr   ? "--zoom"
                        : matrix != nullptr ? "--matrix"
                        : range != nullptr  ? "--range"
                                            : nullptr;
    if (alone != nullptr) {
      throw CommandError(fmt::format("{} shapes the picture of --compare N PICTURE.png; give --compare too", alone));
    }
    return options;
  }
  options.enabled = true;
  options.frame = ParseDecimalOption("--compare", (*compare)[0], 0, INT64_MAX, "give a frame number from 0");
  options.picture = (*compare)[1];
  if (crop != nullptr) {
    options.cropText = *crop;
    options.crop = ParseCrop(*crop);
    if (!options.crop) {
      throw CommandError(
          fmt::format("--crop {} is not of the form WxH+X+Y (for example 200x100+320+180)", Shown(*crop)));
    }
  }
  if (zoom != nullptr) {
    options.zoom =
        static_cast<int32_t>(ParseDecimalOption("--zoom", *zoom, 1, kMaxZoom, fmt::format("give 1 to {}", kMaxZoom)));
  }
  if (matrix != nullptr) {
    options.matrix = ParseMatrix(*matrix);
    if (!options.matrix) throw CommandError(fmt::format("--matrix {} is not 709, 601 or 2020", Shown(*matrix)));
  }
  if (range != nullptr) {
    options.fullRange = ParseFullRange(*range);
    if (!options.fullRange) throw CommandError(fmt::format("--range {} is not limited or full", Shown(*range)));
  }
  return options;
}

void CheckCrop(const CompareOptions& compare, int32_t width, int32_t height) {
  if (!compare.crop) return;
  const CropRegion& crop = *compare.crop;
  if (int64_t{crop.x} + crop.width > width || int64_t{crop.y} + crop.height > height) {
    throw CommandError(
        fmt::format("--crop {} reaches outside the {}x{} frame", Shown(compare.cropText), width, height));
  }
}

int32_t ZoomFor(const CompareOptions& compare, const CropRegion& region) {
  // A zoomed panel stays within the largest frame the command reads, on a side and in pixels.
  int32_t most = 1;
  while (most < kMaxZoom && int64_t{region.width} * (most + 1) <= kMaxSide &&
         int64_t{region.height} * (most + 1) <= kMaxSide &&
         int64_t{region.width} * region.height * (most + 1) * (most + 1) <= kMaxPixels) {
    ++most;
  }
  if (compare.zoom) {
    if (*compare.zoom > most) {
      throw CommandError(fmt::format(
          "--zoom {} would make panels of {}x{} pixels; a panel holds at most {} on a side and {} pixels: crop "
          "(--crop) or zoom less (here at most {})",
          *compare.zoom, int64_t{region.width} * *compare.zoom, int64_t{region.height} * *compare.zoom, kMaxSide,
          kMaxPixels, most));
    }
    return *compare.zoom;
  }
  return std::clamp((kMinPanelWidth + region.width - 1) / region.width, 1, most);
}

}  // namespace sorvan::cli
