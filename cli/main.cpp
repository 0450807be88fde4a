// sorvan [OPTIONS] INPUT OUTPUT: filters a Y4M stream or raw frames with the Sorvan plug-in,
// hosted by our frame server exactly as a script would call it.
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "cli/byte_io.h"
#include "cli/command_error.h"
#include "cli/frame_stream.h"
#include "cli/frameserver_worker.h"
#include "cli/interrupt_cleanup.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/pipeline.h"
#include "cli/progress.h"

namespace sorvan::cli {
namespace {

// An open INPUT; standard input is not closed.
class InputFile {
 public:
  explicit InputFile(const std::string& path) {
    if (path == "-") {
      fd_ = STDIN_FILENO;
      name_ = "standard input";
      return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw CommandError(fmt::format("cannot open {}: {}", path, std::strerror(errno)));
    owned_ = true;
    name_ = path;
  }
  ~InputFile() {
    if (owned_) ::close(fd_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }

 private:
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
};

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

int Run(int argc, char** argv) {
  const std::optional<Options> parsed = ParseOptions(argc, argv);
  if (!parsed) return 0;
  const Options& options = *parsed;
  InterruptCleanup interruptCleanup;

  InputFile input(options.input);
  RefuseOutputIsInput(options.output, RegularFileIdentity(input.fd()));
  FdSource inputBytes(input.fd(), input.name());

  std::unique_ptr<ByteSource> replay;
  std::unique_ptr<FrameReader> reader;
  std::string y4mHeader;
  FrameFormat format{};
  if (options.rawLayout) {
    format = {*options.rawLayout, options.rawWidth, options.rawHeight};
    reader = std::make_unique<RawReader>(inputBytes, format);
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
      format = y4m->header().format;
      y4mHeader = y4m->header().line;
      reader = std::move(y4m);
    } catch (const CommandError& e) {
      throw CommandError(fmt::format("{}: {}", input.name(), e.what()));
    }
  }
  const size_t frameBytes = FrameBytes(format);

  // Every filter exists before OUTPUT is touched, so bad arguments leave no file behind.
  SorvanFilterHost host(options.plugin.empty() ? FindPlugin() : options.plugin);
  std::vector<std::unique_ptr<FrameWorker>> workers;
  for (int i = 0; i < options.threads; ++i) workers.push_back(host.MakeWorker(format, options.filterArguments));

  OutputFile output(options.output);
  interruptCleanup.SetTemporaryFile(output.temporaryPath());
  std::unique_ptr<FrameWriter> writer;
  if (options.rawLayout) {
    writer = std::make_unique<RawWriter>(output.sink());
  } else {
    writer = std::make_unique<Y4mWriter>(output.sink(), y4mHeader);
  }

  const bool live = !options.quiet && ::isatty(STDERR_FILENO) == 1;
  const int64_t expected = options.rawLayout
                               ? ExpectedFrames(input.fd(), 0, frameBytes, options.maxFrames)
                               : ExpectedFrames(input.fd(), y4mHeader.size(), frameBytes + 6, options.maxFrames);
  Progress progress(stderr, live, expected);
  PipelineConfig config;
  config.frameBytes = frameBytes;
  config.maxFrames = options.maxFrames;
  config.onFrameWritten = [&progress](int64_t n) { progress.FrameWritten(n); };
  int64_t frames = 0;
  try {
    frames = RunPipeline(*reader, *writer, workers, config);
    output.Commit();
    interruptCleanup.SetTemporaryFile("");
  } catch (const CommandError& e) {
    progress.Finish(frames);
    throw;
  }
  const std::string summary = progress.Finish(frames);
  if (!options.quiet) fmt::print(stderr, "sorvan: {}\n", summary);
  return 0;
}

}  // namespace
}  // namespace sorvan::cli

int main(int argc, char** argv) {
  try {
    return sorvan::cli::Run(argc, argv);
  } catch (const sorvan::cli::FilterArgumentError& e) {
    fmt::print(stderr, "{}\n", e.what());
  } catch (const std::bad_alloc&) {
    fmt::print(stderr, "sorvan: out of memory\n");
  } catch (const std::exception& e) {
    fmt::print(stderr, "sorvan: {}\n", e.what());
  }
  return 1;
}
