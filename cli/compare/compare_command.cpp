#include "cli/compare/compare_command.h"

#include <fmt/format.h>

#include <cstring>

#include "cli/command_error.h"
#include "cli/compare/compare_picture.h"
#include "cli/compare/png_file.h"
#include "cli/diagnostics.h"
#include "cli/shown_text.h"
#include "cli/stream_filter.h"

namespace sorvan::cli {
namespace {

const char* ChannelName(ColourFamily family, int32_t c) {
  static constexpr const char* kYuv[3] = {"Y", "U", "V"};
  static constexpr const char* kRgb[3] = {"B", "G", "R"};
  switch (family) {
    case ColourFamily::kGray: return "gray";
    case ColourFamily::kRgb: return kRgb[c];
    case ColourFamily::kYuv: break;
  }
  return kYuv[c];
}

double Percent(int64_t part, int64_t whole) { return whole > 0 ? 100.0 * static_cast<double>(part) / whole : 0; }

}  // namespace

DisplaySettings DisplaySettingsFor(const CompareOptions& compare, const std::string& y4mHeaderLine) {
  DisplaySettings settings;
  if (compare.matrix) settings.matrix = *compare.matrix;
  if (compare.fullRange) {
    settings.fullRange = *compare.fullRange;
  } else {
    // Tags are separated by single spaces; the line ends with '\n'.
    const std::string line = fmt::format(" {} ", std::string_view(y4mHeaderLine).substr(0, y4mHeaderLine.find('\n')));
    if (line.find(" XCOLORRANGE=FULL ") != std::string::npos) settings.fullRange = true;
  }
  return settings;
}

std::string CompareCaption(const CompareOptions& compare, const FilterArguments& arguments, const FrameFormat& format,
                           const DisplaySettings& settings, int32_t zoom, const FrameChange& change) {
  std::string caption = fmt::format("frame {}:", compare.frame);
  for (int32_t i = 0; i < kParameterCount; ++i) {
    const ParameterEntry& p = kParameters[i];
    if (p.kind == ParameterKind::kBoolean) {
      caption += fmt::format(" {}={}", p.name, arguments.values[i] != 0 ? "true" : "false");
    } else {
      caption += fmt::format(" {}={}", p.name, arguments.values[i]);
    }
  }
  if (format.video.family == ColourFamily::kYuv && format.video.sampleType == SampleType::kInteger) {
    caption += fmt::format("  shown as BT.{} {}", MatrixName(settings.matrix), settings.fullRange ? "full" : "limited");
  }
  if (compare.crop) {
    const CropRegion& c = *compare.crop;
    caption += fmt::format("  crop {}x{}+{}+{}", c.width, c.height, c.x, c.y);
  }
  caption += fmt::format("  zoom {}x", zoom);
  caption += "  changed";
  for (int32_t c = 0; c < change.channelCount; ++c) {
    caption += fmt::format(" {} {:.2f}%", ChannelName(format.video.family, c),
                           Percent(change.channels[c].changed, change.channels[c].samples));
  }
  caption += "  put back by limits (magenta)";
  for (int32_t c = 0; c < change.channelCount; ++c) {
    if (!change.channels[c].smoothed) continue;
    caption += fmt::format(" {} {:.2f}%", ChannelName(format.video.family, c),
                           Percent(change.channels[c].restored, change.channels[c].samples));
  }
  return caption;
}

int RunCompare(const Options& options, FrameReader& reader, const FrameFormat& format, const std::string& y4mHeaderLine,
               const OutputTarget& picture, InterruptCleanup& interruptCleanup) {
  const CompareOptions& compare = options.compare;
  // Everything that can be refused without reading a frame is refused first.
  StreamFilter filter(options.filterArguments, format);
  const bool yuv = format.video.family == ColourFamily::kYuv;
  if (!yuv && (compare.matrix || compare.fullRange)) {
    throw CommandError(fmt::format("{} applies to YUV input only; this input is {}",
                                   compare.matrix ? "--matrix" : "--range",
                                   format.video.family == ColourFamily::kGray ? "gray" : "RGB"));
  }
  CheckCrop(compare, format.width, format.height);
  const CropRegion region = compare.crop.value_or(CropRegion{format.width, format.height, 0, 0});
  const int32_t zoom = ZoomFor(compare, region);
  OutputFile output(picture, &interruptCleanup);

  std::vector<uint8_t> source;
  for (int64_t n = 0; n <= compare.frame; ++n) {
    if (!reader.Next(source)) {
      throw CommandError(fmt::format("--compare {}: the input has only {} frame{}{}", compare.frame, n,
                                     n == 1 ? "" : "s", n > 0 ? fmt::format(" (0 to {})", n - 1) : ""));
    }
  }
  // Planes the filter leaves alone are not written by it: they start as the source.
  std::vector<uint8_t> filtered = source;
  filter.MakeWorker()->Process(compare.frame, source.data(), filtered.data());

  const FrameChange change = AnalyseChange(format, options.filterArguments, source.data(), filtered.data());
  const DisplaySettings settings = DisplaySettingsFor(compare, y4mHeaderLine);
  const std::string caption = CompareCaption(compare, options.filterArguments, format, settings, zoom, change);
  Picture drawn = DrawComparison(format, source.data(), filtered.data(), change, settings, region, zoom, caption);
  WritePng(drawn.Image(), output.sink());
  output.Commit();
  if (!options.quiet) {
    ReportLine(
        fmt::format("wrote {} ({}x{}): {}", Shown(compare.picture), drawn.layout.width, drawn.layout.height, caption));
  }
  return 0;
}

}  // namespace sorvan::cli
