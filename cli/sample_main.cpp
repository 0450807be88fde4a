// sorvan-sample: makes the demo's sample clip and measures its chroma noise.
//   sorvan-sample make OUTPUT.y4m [--frames N] [--size WxH]
//   sorvan-sample compare BEFORE.y4m AFTER.y4m
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

#include "cli/byte_io.h"
#include "cli/command_error.h"
#include "cli/format_names.h"
#include "cli/frame_stream.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/sample_clip.h"

namespace sorvan::cli {
namespace {

void MakeSample(const std::string& path, int frames, const std::string& size, int bits) {
  const auto parsed = ParseFrameSize(size);
  if (!parsed) throw CommandError(fmt::format("--size {} is not of the form WxH", size));
  if (parsed->first % 2 != 0 || parsed->second % 2 != 0) {
    throw CommandError(fmt::format("--size {}: width and height must be even", size));
  }
  CheckFrameSize(parsed->first, parsed->second, fmt::format("--size {}", size));
  const auto w = static_cast<int32_t>(parsed->first);
  const auto h = static_cast<int32_t>(parsed->second);
  // 25 frames per second, progressive, square pixels, JPEG-sited 4:2:0 like most players expect.
  const std::string colour = bits == 8 ? "420jpeg" : fmt::format("420p{}", bits);
  OutputFile out(ResolveOutput(path, "OUTPUT", {}), nullptr);
  Y4mWriter writer(out.sink(), fmt::format("YUV4MPEG2 W{} H{} F25:1 Ip A1:1 C{}\n", w, h, colour));
  for (int i = 0; i < frames; ++i) {
    const std::vector<uint8_t> frame = MakeSampleFrame(w, h, i);
    if (bits == 8) {
      writer.Write(frame.data(), frame.size());
    } else {
      const std::vector<uint8_t> deep = DeepenFrame(frame, bits);
      writer.Write(deep.data(), deep.size());
    }
  }
  out.Commit();
}

// Mean chroma roughness over every frame of a 4:2:0 Y4M file, and its frame count.
std::pair<double, int64_t> MeasureFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw CommandError(fmt::format("cannot open {}", path));
  FdSource source(fd, path);
  double total = 0;
  int64_t frames = 0;
  try {
    Y4mReader reader(source);
    const FrameFormat& format = reader.header().format;
    if (format.video.family != ColourFamily::kYuv || IsPacked(format.video) ||
        format.video.sampleType != SampleType::kInteger) {
      throw CommandError(fmt::format("{} is not planar YUV", path));
    }
    std::vector<uint8_t> frame;
    while (reader.Next(frame)) {
      total += ChromaRoughness(format, frame.data());
      ++frames;
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  return {frames == 0 ? 0.0 : total / static_cast<double>(frames), frames};
}

int Run(int argc, char** argv) {
  CLI::App app{"Makes the sample clip of the Sorvan demo and measures chroma noise.", "sorvan-sample"};
  app.require_subcommand(1);
  auto* make = app.add_subcommand("make", "write the sample clip as 4:2:0 Y4M");
  std::string output;
  int frames = 125;
  std::string size = "640x360";
  make->add_option("OUTPUT", output, "the Y4M file to write")->required();
  make->add_option("--frames", frames, "number of frames (25 per second)")->check(CLI::Range(1, 100000));
  make->add_option("--size", size, "frame size WxH, both even");
  int bits = 8;
  make->add_option("--bits", bits, "bits per sample, 8 to 16 (C420jpeg at 8, C420pN above)")->check(CLI::Range(8, 16));
  auto* compare = app.add_subcommand("compare", "report how much chroma noise filtering removed");
  std::string before;
  std::string after;
  compare->add_option("BEFORE", before)->required();
  compare->add_option("AFTER", after)->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  if (make->parsed()) {
    MakeSample(output, frames, size, bits);
    return 0;
  }
  const auto [roughBefore, framesBefore] = MeasureFile(before);
  const auto [roughAfter, framesAfter] = MeasureFile(after);
  if (framesBefore != framesAfter) {
    throw CommandError(fmt::format("{} has {} frames but {} has {}", before, framesBefore, after, framesAfter));
  }
  const double removed = roughBefore > 0 ? 100.0 * (roughBefore - roughAfter) / roughBefore : 0.0;
  fmt::print(
      "chroma noise (mean absolute difference between neighbouring U and V samples, {} frames): {:.3f} before, "
      "{:.3f} after: {:.0f}% less\n",
      framesBefore, roughBefore, roughAfter, removed);
  return 0;
}

}  // namespace
}  // namespace sorvan::cli

int main(int argc, char** argv) {
  try {
    return sorvan::cli::Run(argc, argv);
  } catch (const std::exception& e) {
    fmt::print(stderr, "sorvan-sample: {}\n", e.what());
    return 1;
  }
}
