#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <charconv>
#include <iostream>
#include <thread>

#include "cli/command_error.h"
#include "core/version.h"

namespace sorvan::cli {
namespace {

// Sorvan's named arguments in the order of its parameter string.
struct ArgumentDescription {
  const char* name;
  bool isBool;
  const char* help;
};
constexpr ArgumentDescription kArguments[] = {
    {"rad", false, "radius of the neighbourhood, 1 to 8 (default 5)"},
    {"str", false, "strength (standard deviation) of the Gaussian weights, 1 to 8 (default 4)"},
    {"ry", true, "smooth channel 0 (Y or blue): true or false (default false)"},
    {"gu", true, "smooth channel 1 (U or green): true or false (default true)"},
    {"bv", true, "smooth channel 2 (V or red): true or false (default true)"},
    {"force", true, "box average instead of the Gaussian surround average: true or false (default false)"},
    {"pry", false, "positive limit of channel 0, 0 to 10 (default 3)"},
    {"pgu", false, "positive limit of channel 1, 0 to 10 (default 1)"},
    {"pbv", false, "positive limit of channel 2, 0 to 10 (default 3)"},
    {"nry", false, "negative limit of channel 0, 0 to 10 (default 3)"},
    {"ngu", false, "negative limit of channel 1, 0 to 10 (default 4)"},
    {"nbv", false, "negative limit of channel 2, 0 to 10 (default 6)"},
};
constexpr size_t kArgumentCount = std::size(kArguments);

int DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace

std::optional<std::pair<int32_t, int32_t>> ParseFrameSize(const std::string& text) {
  const size_t x = text.find('x');
  if (x == std::string::npos || x == 0 || x + 1 == text.size()) return std::nullopt;
  int64_t w = 0;
  int64_t h = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  auto r1 = std::from_chars(begin, begin + x, w);
  auto r2 = std::from_chars(begin + x + 1, end, h);
  if (r1.ec != std::errc() || r1.ptr != begin + x || r2.ec != std::errc() || r2.ptr != end) return std::nullopt;
  if (begin[0] == '-' || begin[x + 1] == '-') return std::nullopt;
  // Larger values are refused by the size check with its own message; keep them recognisable.
  constexpr int64_t kClamp = int64_t{1} << 30;
  return std::make_pair(static_cast<int32_t>(std::min(w, kClamp)), static_cast<int32_t>(std::min(h, kClamp)));
}

std::optional<Options> ParseOptions(int argc, const char* const* argv) {
  CLI::App app{
      "Smooths small-amplitude noise in chosen colour channels of a video stream with the Sorvan plug-in.\n"
      "INPUT and OUTPUT are files, or - for standard input and output. INPUT is Y4M (4:2:0 or 4:2:2)\n"
      "unless --format and --size describe raw frames.",
      "sorvan"};
  Options options;
  options.threads = DefaultThreads();

  app.add_option("INPUT", options.input, "input file, or - for standard input")->required();
  app.add_option("OUTPUT", options.output, "output file, or - for standard output")->required();

  int intValues[kArgumentCount] = {};
  std::string boolValues[kArgumentCount];
  CLI::Option* argumentOptions[kArgumentCount] = {};
  for (size_t i = 0; i < kArgumentCount; ++i) {
    const ArgumentDescription& argument = kArguments[i];
    const std::string flag = fmt::format("--{}", argument.name);
    if (argument.isBool) {
      argumentOptions[i] = app.add_option(flag, boolValues[i], argument.help)
                               ->option_text("B")
                               ->check(CLI::IsMember({"true", "false"}));
    } else {
      argumentOptions[i] = app.add_option(flag, intValues[i], argument.help)->option_text("N");
    }
    argumentOptions[i]->group("Filter arguments (passed to Sorvan by name; left out, the plug-in's default applies)");
  }

  std::string format;
  std::string size;
  int64_t frames = -1;
  auto* formatOption = app.add_option("--format", format, "raw input: rgb24, rgb32, yuy2, yv12 or i420")
                           ->option_text("FORMAT")
                           ->check(CLI::IsMember({"rgb24", "rgb32", "yuy2", "yv12", "i420"}));
  auto* sizeOption = app.add_option("--size", size, "raw input: frame size as WxH")->option_text("WxH");
  app.add_option("--threads", options.threads, "frames filtered in parallel (default: the machine's cores)")
      ->option_text("N")
      ->check(CLI::Range(1, 256));
  auto* framesOption =
      app.add_option("--frames", frames, "stop after N frames")->option_text("N")->check(CLI::NonNegativeNumber);
  app.add_flag("--quiet", options.quiet, "no progress and no summary");
  // The one project version, which the plug-in's entries report too.
  app.set_version_flag("--version", "sorvan " SORVAN_VERSION_STRING, "print the version and exit");
  app.add_option("--plugin", options.plugin, "the plug-in library (default: libsorvan.so beside the command or in ../lib)")
      ->option_text("PATH");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return std::nullopt;
  } catch (const CLI::CallForVersion& e) {
    std::cout << e.what() << "\n";
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    throw CommandError(fmt::format("{} (see sorvan --help)", e.what()));
  }

  for (size_t i = 0; i < kArgumentCount; ++i) {
    if (argumentOptions[i]->count() == 0) continue;
    if (kArguments[i].isBool) {
      options.filterArguments.push_back({kArguments[i].name, boolValues[i] == "true"});
    } else {
      options.filterArguments.push_back({kArguments[i].name, intValues[i]});
    }
  }

  if (formatOption->count() > 0) {
    if (sizeOption->count() == 0) throw CommandError("--format needs --size WxH for raw input");
    options.rawLayout = ParseRawFormatName(format);
    const auto parsed = ParseFrameSize(size);
    if (!parsed) throw CommandError(fmt::format("--size {} is not of the form WxH (for example 640x360)", size));
    options.rawWidth = parsed->first;
    options.rawHeight = parsed->second;
    CheckFrameSize({*options.rawLayout, options.rawWidth, options.rawHeight}, "--size");
  } else if (sizeOption->count() > 0) {
    throw CommandError("--size needs --format for raw input (Y4M input carries its own size)");
  }
  if (framesOption->count() > 0) options.maxFrames = frames;
  return options;
}

}  // namespace sorvan::cli
