// `--compare N PICTURE.png` and the options that shape its picture: --crop, --matrix, --range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/compare/display_colour.h"

namespace sorvan::cli {

// A region of the frame in pixels (luma samples for subsampled YUV).
struct CropRegion {
  int32_t width;
  int32_t height;
  int32_t x;
  int32_t y;
};

struct CompareOptions {
  bool enabled = false;
  int64_t frame = 0;    // 0-based
  std::string picture;  // the PNG to write
  std::optional<CropRegion> crop;
  std::optional<YuvMatrix> matrix;  // --matrix; BT.709 when not given
  std::optional<bool> fullRange;    // --range; else the Y4M tag; else limited
};

// The options as given (null where not given): `compare` holds N and PICTURE. Throws
// CommandError for a bad value, and for --crop, --matrix or --range without --compare.
CompareOptions ParseCompareOptions(const std::vector<std::string>* compare, const std::string* crop,
                                   const std::string* matrix, const std::string* range);

// "WxH+X+Y", W and H positive, X and Y from 0; nullopt when malformed.
std::optional<CropRegion> ParseCrop(const std::string& text);

// Refuses a crop that does not lie wholly inside a frame of width × height, naming both.
void CheckCrop(const CropRegion& crop, int32_t width, int32_t height);

}  // namespace sorvan::cli
