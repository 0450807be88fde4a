// sorvan [OPTIONS] INPUT OUTPUT: filters a Y4M stream or raw frames with Sorvan; with
// --compare N PICTURE.png, draws what the filter does to frame N instead.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "cli/byte_io.h"
#include "cli/command_error.h"
#include "cli/compare/compare_command.h"
#include "cli/diagnostics.h"
#include "cli/frame_stream.h"
#include "cli/input_file.h"
#include "cli/interrupt_cleanup.h"
#include "cli/odd_width_packed.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/pipeline.h"
#include "cli/progress.h"
#include "cli/stream_filter.h"

namespace sorvan::cli {
namespace {

// Frames expected from a regular file, for the progress line; -1 when it cannot be known.
int64_t ExpectedFrames(int fd, size_t headerBytes, size_t bytesPerFrame, int64_t maxFrames) {
  struct stat st {};
  int64_t total = -1;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && bytesPerFrame > 0 &&
      static_cast<size_t>(st.st_size) >= headerBytes) {
    total = static_cast<int64_t>((static_cast<size_t>(st.st_size) - headerBytes) / bytesPerFrame);
  }
  if (maxFrames >= 0 && (total < 0 || maxFrames < total)) total = maxFrames;
  return total;
}

int Run(int argc, char** argv, const ClosedStandardStreams& closed) {
  const Options options = ParseOptions(argc, argv);
  const bool compare = options.compare.enabled;
  // Where the result goes is decided and checked before anything is read.
  const OutputTarget target =
      ResolveOutput(compare ? options.compare.picture : options.output, compare ? "PICTURE" : "OUTPUT", closed);
  InterruptCleanup interruptCleanup;
  InputFile input(options.input, closed, target);
  FdSource inputBytes(input.fd(), input.name());

  std::unique_ptr<ByteSource> replay;
  std::unique_ptr<FrameReader> reader;
  std::string y4mHeader;
  FrameFormat stored{};  // as the stream holds the frames
  FrameFormat format{};  // as they are filtered
  if (options.rawFormat != nullptr) {
    stored = {options.rawFormat->format, options.rawWidth, options.rawHeight};
    if (IsOddWidthPacked(stored)) {
      format = PlanarOf(stored);
      reader = std::make_unique<OddWidthPackedReader>(inputBytes, stored);
    } else {
      format = stored;
      reader = std::make_unique<RawReader>(inputBytes, FrameBytes(stored));
    }
  } else {
    constexpr size_t kSignatureBytes = sizeof kY4mSignature - 1;
    std::vector<uint8_t> start(kSignatureBytes);
    start.resize(ReadFully(inputBytes, start.data(), start.size()));
    if (start.empty()) throw CommandError(fmt::format("{} is empty", input.name()));
    if (std::memcmp(start.data(), kY4mSignature, start.size()) != 0 || start.size() < kSignatureBytes) {
      throw CommandError(fmt::format(
          "{} is not a Y4M stream (it does not begin with YUV4MPEG2); for raw frames give --format and --size",
          input.name()));
    }
    replay = std::make_unique<ReplaySource>(std::move(start), inputBytes);
    try {
      auto y4m = std::make_unique<Y4mReader>(*replay);
      format = stored = y4m->header().format;
      y4mHeader = y4m->header().line;
      reader = std::move(y4m);
    } catch (const CommandError& e) {
      throw CommandError(fmt::format("{}: {}", input.name(), e.what()));
    }
  }
  if (compare) return RunCompare(options, *reader, format, y4mHeader, target, interruptCleanup);

  // The filter exists before OUTPUT is touched, so bad arguments leave no file behind. Nothing
  // sized by the frame is allocated here: the workers and their buffers come with the frames.
  StreamFilter filter(options.filterArguments, format);

  OutputFile output(target, &interruptCleanup);
  std::unique_ptr<FrameWriter> writer;
  if (options.rawFormat == nullptr) {
    writer = std::make_unique<Y4mWriter>(output.sink(), y4mHeader);
  } else if (IsOddWidthPacked(stored)) {
    writer = std::make_unique<OddWidthPackedWriter>(output.sink(), stored);
  } else {
    writer = std::make_unique<RawWriter>(output.sink());
  }

  const bool live = !options.quiet && ::isatty(STDERR_FILENO) == 1;
  const int64_t expected =
      options.rawFormat != nullptr
          ? ExpectedFrames(input.fd(), 0, StoredFrameBytes(stored), options.maxFrames)
          : ExpectedFrames(input.fd(), y4mHeader.size(), FrameBytes(format) + 6, options.maxFrames);
  Progress progress(live, expected);
  PipelineConfig config;
  config.frameBytes = FrameBytes(format);
  config.maxFrames = options.maxFrames;
  config.threads = options.threads;
  config.outputPieces = filter.OutputPieces();
  config.makeWorker = [&filter] { return filter.MakeWorker(); };
  config.onFrameWritten = [&progress](int64_t n) { progress.FrameWritten(n); };
  int64_t frames = 0;
  try {
    frames = RunPipeline(*reader, *writer, config);
    output.Commit();
  } catch (...) {
    progress.Finish(frames);  // clears the progress line before the error is printed
    throw;
  }
  const std::string summary = progress.Finish(frames);
  if (!options.quiet) ReportLine(summary);
  return 0;
}

// --help, --version or the list of formats on standard output; a text that cannot be written
// (standard output closed, full, a broken pipe) is a failure like any other.
int PrintHelp(const HelpRequested& help, bool standardOutputClosed) {
  const int error = standardOutputClosed ? EBADF : WriteAll(STDOUT_FILENO, help.what());
  if (error == 0) return 0;
  ReportLine(fmt::format("cannot write {} to standard output: {}", help.subject(),
                         standardOutputClosed ? "it is closed" : std::strerror(error)));
  return 1;
}

}  // namespace
}  // namespace sorvan::cli

int main(int argc, char** argv) {
  using namespace sorvan::cli;
  const ClosedStandardStreams closed = ReserveStandardDescriptors();
  // Nothing below may end the process other than through this return: every message goes out
  // through ReportLine, which never throws, whatever standard error is.
  try {
    return Run(argc, argv, closed);
  } catch (const HelpRequested& help) {
    return PrintHelp(help, closed.output);
  } catch (const FilterArgumentError& e) {
    ReportLine(e.what(), false);
  } catch (const std::bad_alloc&) {
    ReportLine("out of memory");
  } catch (const std::exception& e) {
    ReportLine(e.what());
  } catch (...) {
    ReportLine("internal error");
  }
  return 1;
}
