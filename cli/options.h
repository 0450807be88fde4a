// The command line: `sorvan [OPTIONS] INPUT OUTPUT`, or `sorvan --compare N PICTURE.png [OPTIONS] INPUT`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/compare/compare_options.h"
#include "cli/format_names.h"
#include "core/parameters.h"

namespace sorvan::cli {

struct Options {
  std::string input;
  std::string output;                                    // empty with --compare
  FilterArguments filterArguments = DefaultArguments();  // the table's defaults where not given
  const FormatName* rawFormat = nullptr;                 // --format; null for Y4M input
  int32_t rawWidth = 0;                                  // --size
  int32_t rawHeight = 0;
  int threads = 1;
  int64_t maxFrames = -1;  // --frames, -1 for all
  bool quiet = false;
  CompareOptions compare;  // --compare N PICTURE.png instead of OUTPUT
};

// Most --threads.
inline constexpr int kMaxThreads = 256;

// Parses the command line. Throws HelpRequested with the help text for --help and for
// `--format help`, or with the version line for --version, and CommandError with a one-line
// message for anything it refuses: unknown options, values out of range (naming the range),
// and options that would do nothing (--frames and --threads with --compare).
Options ParseOptions(int argc, const char* const* argv);

// Parses "WxH" (both decimal digits alone; sides beyond any cap saturate at 2^40); nullopt when
// malformed.
std::optional<std::pair<int64_t, int64_t>> ParseFrameSize(const std::string& text);

// A plain decimal integer: an optional minus sign and digits, nothing else (so "010" is ten and
// "0x10", "+1", " 1" and "1e3" are refused). nullopt when it is not one or does not fit.
std::optional<int64_t> ParseDecimal(std::string_view text);

// The value of `option` as given in `text`, within [minimum, maximum]; otherwise CommandError
// naming the option and the text as given, followed by `rangeHint` (what the option accepts)
// when the number is out of range.
int64_t ParseDecimalOption(std::string_view option, std::string_view text, int64_t minimum, int64_t maximum,
                           std::string_view rangeHint = "");

// The CPUs this process may run on (its affinity mask), at least 1.
int UsableCpus();

}  // namespace sorvan::cli
