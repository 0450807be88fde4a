// `--compare N PICTURE.png` and the options that shape its picture: --crop, --zoom, --matrix,
// --range.
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

// Most --zoom, and the panel width the default zoom reaches for where the frame allows.
inline constexpr int32_t kMaxZoom = 16;
inline constexpr int32_t kMinPanelWidth = 480;

struct CompareOptions {
  bool enabled = false;
  int64_t frame = 0;    // 0-based
  std::string picture;  // the PNG to write
  std::optional<CropRegion> crop;
  std::string cropText;             // --crop as given, for messages
  std::optional<int32_t> zoom;      // --zoom; else chosen from the region's size
  std::optional<YuvMatrix> matrix;  // --matrix; BT.709 when not given
  std::optional<bool> fullRange;    // --range; else the Y4M tag; else limited
};

// The options as given (null where not given): `compare` holds N and PICTURE. Throws
// CommandError for a bad value, and for --crop, --zoom, --matrix or --range without --compare.
CompareOptions ParseCompareOptions(const std::vector<std::string>* compare, const std::string* crop,
                                   const std::string* zoom, const std::string* matrix, const std::string* range);

// "WxH+X+Y", W and H positive, X and Y from 0 (numbers beyond 32 bits saturate: such a region
// lies outside every frame); nullopt when malformed.
std::optional<CropRegion> ParseCrop(const std::string& text);

// Refuses a crop that does not lie wholly inside a frame of width × height, naming both.
void CheckCrop(const CompareOptions& compare, int32_t width, int32_t height);

// The zoom for a region: --zoom as given, else the least that makes a panel kMinPanelWidth wide
// (at most kMaxZoom); either way no more than keeps a panel within the largest frame's size.
// Throws CommandError when a --zoom given exceeds that.
int32_t ZoomFor(const CompareOptions& compare, const CropRegion& region);

}  // namespace sorvan::cli
