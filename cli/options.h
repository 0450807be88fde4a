// The command line: `sorvan [OPTIONS] INPUT OUTPUT`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/frame_format.h"

namespace sorvan::cli {

// One script argument of Sorvan given on the command line; arguments left out are not passed,
// so the plug-in applies its own defaults and checks.
struct FilterArgument {
  std::string name;
  std::variant<int, bool> value;
};

struct Options {
  std::string input;
  std::string output;
  std::vector<FilterArgument> filterArguments;  // in the script function's parameter order
  std::optional<StreamLayout> rawLayout;        // --format
  int32_t rawWidth = 0;                         // --size
  int32_t rawHeight = 0;
  int threads = 1;
  int64_t maxFrames = -1;  // --frames, -1 for all
  bool quiet = false;
  std::string plugin;  // --plugin, empty to look beside the executable
};

// Parses the command line. Returns nullopt after printing --help (exit status 0); throws
// CommandError with a one-line message for anything it refuses.
std::optional<Options> ParseOptions(int argc, const char* const* argv);

// Parses "WxH" (both positive decimal integers); nullopt when malformed.
std::optional<std::pair<int32_t, int32_t>> ParseFrameSize(const std::string& text);

}  // namespace sorvan::cli
