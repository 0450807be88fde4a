// `sorvan --compare N PICTURE.png [filter options] INPUT`: filters frame N alone and writes the
// comparison picture of it, through a temporary file renamed into place, so no partial picture
// is ever left under PICTURE's name.
#pragma once

#include <optional>
#include <string>

#include "cli/compare/compare_options.h"
#include "cli/compare/frame_analysis.h"
#include "cli/frame_stream.h"
#include "cli/interrupt_cleanup.h"
#include "cli/options.h"
#include "cli/output_file.h"

namespace sorvan::cli {

// The caption: the frame, the twelve arguments in effect, the display matrix of YUV, the crop,
// the zoom, and per channel the share of samples changed and of those a limit put back.
std::string CompareCaption(const CompareOptions& compare, const FilterArguments& arguments, const FrameFormat& format,
                           const DisplaySettings& settings, int32_t zoom, const FrameChange& change);

// Display settings from the options, else the Y4M header's XCOLORRANGE tag, else BT.709 limited.
DisplaySettings DisplaySettingsFor(const CompareOptions& compare, const std::string& y4mHeaderLine);

// Runs the whole comparison, writing the picture to `picture` (resolved and checked against the
// input already); returns the command's exit status. Everything that can be refused is refused
// before the first frame is read. Throws CommandError (or FilterArgumentError) with the one-line
// message otherwise.
int RunCompare(const Options& options, FrameReader& reader, const FrameFormat& format, const std::string& y4mHeaderLine,
               const OutputTarget& picture, InterruptCleanup& interruptCleanup);

}  // namespace sorvan::cli
