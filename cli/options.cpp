#include "cli/options.h"

#include <fmt/format.h>
#include <sched.h>
#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>

#include "cli/command_error.h"
#include "cli/frame_format.h"
#include "cli/shown_text.h"
#include "core/version.h"

namespace sorvan::cli {
namespace {

constexpr const char* kFilterGroup = "Filter arguments (as the script function's; left out, its default applies)";

std::string FilterHelp(const ParameterEntry& p) {
  if (p.kind == ParameterKind::kBoolean) {
    return fmt::format("{}: true or false (default {})", p.help, p.defaultValue != 0 ? "true" : "false");
  }
  return fmt::format("{}: {} to {} (default {})", p.help, p.minimum, p.maximum, p.defaultValue);
}

}  // namespace

std::optional<int64_t> ParseDecimal(std::string_view text) {
  const size_t digitsFrom = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == digitsFrom) return std::nullopt;
  for (size_t i = digitsFrom; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int64_t ParseDecimalOption(std::string_view option, std::string_view text, int64_t minimum, int64_t maximum,
                           std::string_view rangeHint) {
  const std::optional<int64_t> value = ParseDecimal(text);
  const bool digitsOnly = !text.empty() && text.find_first_not_of("-0123456789") == std::string_view::npos &&
                          text.find('-', 1) == std::string_view::npos && text != "-";
  if (!value && !digitsOnly) {
    throw CommandError(fmt::format("{} {} is not a decimal integer", option, Shown(text)));
  }
  if (!value || *value < minimum || *value > maximum) {
    if (rangeHint.empty()) throw CommandError(fmt::format("{} {} is out of range", option, Shown(text)));
    throw CommandError(fmt::format("{} {} is out of range: {}", option, Shown(text), rangeHint));
  }
  return *value;
}

int UsableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  return 1;
}

std::optional<std::pair<int64_t, int64_t>> ParseFrameSize(const std::string& text) {
  const auto side = [](std::string_view digits) -> std::optional<int64_t> {
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    int64_t value = 0;
    // Beyond every cap, sizes saturate: the size check refuses them, naming the text as given.
    for (const char c : digits) value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{1} << 40);
    return value;
  };
  const size_t x = text.find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto w = side(std::string_view(text).substr(0, x));
  const auto h = side(std::string_view(text).substr(x + 1));
  if (!w || !h) return std::nullopt;
  return std::make_pair(*w, *h);
}

Options ParseOptions(int argc, const char* const* argv) {
  CLI::App app{
      "Smooths small-amplitude noise in chosen colour channels of a video stream with Sorvan.\n"
      "INPUT and OUTPUT are files, or - for standard input and output. INPUT is Y4M unless --format\n"
      "and --size describe raw frames.",
      "sorvan"};
  Options options;
  options.threads = std::min(UsableCpus(), kMaxThreads);
  // Unknown options and surplus arguments are kept and reported below, by name.
  app.allow_extras();

  auto* inputOption = app.add_option("INPUT", options.input, "input file, or - for standard input");
  auto* outputOption = app.add_option("OUTPUT", options.output, "output file, or - for standard output");

  // Every value is taken as text and parsed here, so that numbers are read one way only.
  std::string values[kParameterCount];
  CLI::Option* argumentOptions[kParameterCount] = {};
  for (int32_t i = 0; i < kParameterCount; ++i) {
    const ParameterEntry& p = kParameters[i];
    argumentOptions[i] = app.add_option(fmt::format("--{}", p.name), values[i], FilterHelp(p))
                             ->option_text(p.kind == ParameterKind::kBoolean ? "B" : "N")
                             ->group(kFilterGroup);
  }

  std::string format;
  std::string size;
  std::string threads;
  std::string frames;
  auto* formatOption = app.add_option("--format", format,
                                      "raw input: ffmpeg's pixel-format name (as -pix_fmt); --format help lists them")
                           ->option_text("NAME");
  auto* sizeOption = app.add_option("--size", size, "raw input: frame size as WxH")->option_text("WxH");
  auto* threadsOption = app.add_option("--threads", threads,
                                       fmt::format("frames filtered in parallel, 1 to {} (default: the CPUs this "
                                                   "process may run on, here {})",
                                                   kMaxThreads, options.threads))
                            ->option_text("N");
  auto* framesOption = app.add_option("--frames", frames, "stop after N frames")->option_text("N");
  app.add_flag("--quiet", options.quiet, "no progress and no summary");
  std::vector<std::string> compare;
  std::string crop;
  std::string zoom;
  std::string matrix;
  std::string range;
  auto* compareOption =
      app.add_option("--compare", compare,
                     "instead of OUTPUT: a PNG of frame N (from 0): before, after, what changed (x8) and where "
                     "the limits put samples back")
          ->expected(2)
          ->allow_extra_args(false)
          ->option_text("N PICTURE.png");
  auto* cropOption = app.add_option("--crop", crop, "--compare: show only this region")->option_text("WxH+X+Y");
  auto* zoomOption =
      app.add_option("--zoom", zoom,
                     fmt::format("--compare: enlarge the panels K times, 1 to {} (default: panels at least {} pixels "
                                 "wide where the frame allows)",
                                 kMaxZoom, kMinPanelWidth))
          ->option_text("K");
  auto* matrixOption =
      app.add_option("--matrix", matrix, "--compare: YUV shown as BT.709 (default), 601 or 2020")->option_text("709");
  auto* rangeOption = app.add_option("--range", range,
                                     "--compare: YUV range, limited or full (default: the Y4M XCOLORRANGE tag, "
                                     "else limited)")
                          ->option_text("RANGE");
  // The one project version, which the plug-in's entries report too.
  app.set_version_flag("--version", "sorvan " SORVAN_VERSION_STRING, "print the version and exit");

  // `--format help` stands alone: it needs no INPUT or OUTPUT.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--format=help" || (arg == "--format" && i + 1 < argc && std::string_view(argv[i + 1]) == "help")) {
      throw HelpRequested(RawFormatHelp(), "the list of formats");
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    throw HelpRequested(app.help(), "the help");
  } catch (const CLI::CallForVersion& e) {
    throw HelpRequested(std::string(e.what()) + "\n", "the version");
  } catch (const CLI::ParseError& e) {
    throw CommandError(fmt::format("{} (see sorvan --help)", e.what()));
  }
  const std::vector<std::string> extras = app.remaining();
  for (const std::string& extra : extras) {
    if (extra.size() > 1 && extra[0] == '-') {
      throw CommandError(fmt::format("unknown option {} (see sorvan --help)", Shown(extra)));
    }
  }
  if (!extras.empty()) {
    throw CommandError(fmt::format("unexpected argument {}: sorvan takes INPUT and OUTPUT (see sorvan --help)",
                                   Shown(extras.front())));
  }
  if (inputOption->count() == 0) throw CommandError("INPUT is required (see sorvan --help)");

  for (int32_t i = 0; i < kParameterCount; ++i) {
    if (argumentOptions[i]->count() == 0) continue;
    const ParameterEntry& p = kParameters[i];
    const std::string option = fmt::format("--{}", p.name);
    if (p.kind == ParameterKind::kBoolean) {
      if (values[i] != "true" && values[i] != "false") {
        throw CommandError(fmt::format("{} {} is not true or false", option, Shown(values[i])));
      }
      options.filterArguments.values[i] = values[i] == "true" ? 1 : 0;
    } else {
      // Any int the script function could be given; its own range check comes later, with its message.
      options.filterArguments.values[i] = static_cast<int32_t>(ParseDecimalOption(
          option, values[i], INT32_MIN, INT32_MAX, fmt::format("give {} to {}", p.minimum, p.maximum)));
    }
  }

  if (formatOption->count() > 0) {
    if (sizeOption->count() == 0) throw CommandError("--format needs --size WxH for raw input");
    options.rawFormat = FindRawFormat(format);
    if (options.rawFormat == nullptr) {
      if (const std::optional<std::string> le = LittleEndianNameFor(format)) {
        throw CommandError(fmt::format(
            "--format {}: sorvan reads samples in little-endian order only; have ffmpeg write {} (-pix_fmt {}) "
            "and give --format {}",
            Shown(format), *le, *le, *le));
      }
      throw CommandError(
          fmt::format("--format {} is not a format sorvan reads (--format help lists them)", Shown(format)));
    }
    const auto parsed = ParseFrameSize(size);
    if (!parsed) {
      throw CommandError(fmt::format("--size {} is not of the form WxH (for example 640x360)", Shown(size)));
    }
    CheckFrameSize(parsed->first, parsed->second, fmt::format("--size {}", Shown(size)));
    options.rawWidth = static_cast<int32_t>(parsed->first);
    options.rawHeight = static_cast<int32_t>(parsed->second);
  } else if (sizeOption->count() > 0) {
    throw CommandError("--size needs --format for raw input (Y4M input carries its own size)");
  }
  const auto given = [](CLI::Option* option, std::string& value) { return option->count() > 0 ? &value : nullptr; };
  options.compare =
      ParseCompareOptions(compareOption->count() > 0 ? &compare : nullptr, given(cropOption, crop),
                          given(zoomOption, zoom), given(matrixOption, matrix), given(rangeOption, range));
  if (options.compare.enabled) {
    if (outputOption->count() > 0) {
      throw CommandError(fmt::format("--compare writes the picture {}: give no OUTPUT (here {})",
                                     Shown(options.compare.picture), Shown(options.output)));
    }
    // Options that would do nothing for one picture of one frame.
    if (framesOption->count() > 0) throw CommandError("--frames does nothing with --compare, which shows frame N");
    if (threadsOption->count() > 0) {
      throw CommandError("--threads does nothing with --compare, which filters one frame");
    }
  } else if (outputOption->count() == 0) {
    throw CommandError("OUTPUT is required (or --compare N PICTURE.png; see sorvan --help)");
  }
  if (threadsOption->count() > 0) {
    options.threads = static_cast<int>(
        ParseDecimalOption("--threads", threads, 1, kMaxThreads, fmt::format("give 1 to {}", kMaxThreads)));
  }
  if (framesOption->count() > 0) {
    options.maxFrames = ParseDecimalOption("--frames", frames, 0, INT64_MAX, "give 0 or more");
  }
  return options;
}

}  // namespace sorvan::cli
