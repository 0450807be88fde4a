#include "cli/compare/compare_options.h"

#include <fmt/format.h>

#include "cli/command_error.h"
#include "cli/options.h"

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
    if (fields[i].empty() || fields[i][0] == '-') return std::nullopt;
    const std::optional<int64_t> value = ParseDecimal(fields[i]);
    if (!value || *value > INT32_MAX) return std::nullopt;
    values[i] = *value;
  }
  if (values[0] == 0 || values[1] == 0) return std::nullopt;
  return CropRegion{static_cast<int32_t>(values[0]), static_cast<int32_t>(values[1]), static_cast<int32_t>(values[2]),
                    static_cast<int32_t>(values[3])};
}

CompareOptions ParseCompareOptions(const std::vector<std::string>* compare, const std::string* crop,
                                   const std::string* matrix, const std::string* range) {
  CompareOptions options;
  if (compare == nullptr) {
    const char* alone = crop != nullptr     ? "--crop"
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
  if (options.picture.empty()) throw CommandError("--compare needs a PICTURE.png path after the frame number");
  if (crop != nullptr) {
    options.crop = ParseCrop(*crop);
    if (!options.crop) {
      throw CommandError(fmt::format("--crop {} is not of the form WxH+X+Y (for example 200x100+320+180)", *crop));
    }
  }
  if (matrix != nullptr) {
    options.matrix = ParseMatrix(*matrix);
    if (!options.matrix) throw CommandError(fmt::format("--matrix {} is not 709, 601 or 2020", *matrix));
  }
  if (range != nullptr) {
    options.fullRange = ParseFullRange(*range);
    if (!options.fullRange) throw CommandError(fmt::format("--range {} is not limited or full", *range));
  }
  return options;
}

void CheckCrop(const CropRegion& crop, int32_t width, int32_t height) {
  if (int64_t{crop.x} + crop.width > width || int64_t{crop.y} + crop.height > height) {
    throw CommandError(fmt::format("--crop {}x{}+{}+{} reaches outside the {}x{} frame", crop.width, crop.height,
                                   crop.x, crop.y, width, height));
  }
}

}  // namespace sorvan::cli
