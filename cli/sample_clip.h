// The built-in sample clip of `make demo` (moving shapes with chroma noise, 4:2:0) and the
// measure of chroma noise the demo reports before and after filtering.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/frame_format.h"

namespace sorvan::cli {

// One I420 frame (Y, then U, then V) of the sample clip: a soft gradient background, a disc
// and a rectangle that move across it, and independent noise of +-3 levels on every chroma
// sample. Deterministic: the same arguments give the same bytes. `width` and `height` even.
std::vector<uint8_t> MakeSampleFrame(int32_t width, int32_t height, int32_t frameIndex);

// The same frame at `bits` (9 to 16) in 16-bit words: every sample scaled by 2^(bits-8).
std::vector<uint8_t> DeepenFrame(const std::vector<uint8_t>& frame, int32_t bits);

// Mean absolute difference between horizontally and vertically neighbouring samples of the U
// and V planes of a planar YUV frame of `format` (8 to 16 bits), in 8-bit levels: flat areas
// with noise score high, smooth chroma low.
double ChromaRoughness(const FrameFormat& format, const uint8_t* frame);

}  // namespace sorvan::cli
