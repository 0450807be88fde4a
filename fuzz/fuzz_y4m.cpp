// Arbitrary bytes as a Y4M stream through the command's reader and writer, in memory. The
// reader either yields whole frames or stops with a CommandError; anything else (a crash, an
// over-read, another exception, unbounded memory) fails the run. Every stream that reads
// cleanly is written back out and must read back to the same header and frames.
#include <cstdint>
#include <cstring>
#include <vector>

#include "cli/byte_io.h"
#include "cli/command_error.h"
#include "cli/frame_stream.h"

namespace {

using sorvan::cli::CommandError;
using sorvan::cli::FrameBytes;
using sorvan::cli::MemorySink;
using sorvan::cli::MemorySource;
using sorvan::cli::Y4mReader;
using sorvan::cli::Y4mWriter;

// Reads the whole stream; false when it ended with a CommandError.
bool ReadAll(const uint8_t* data, size_t size, std::string& header, std::vector<std::vector<uint8_t>>& frames) {
  MemorySource source(data, size);
  try {
    Y4mReader reader(source);
    header = reader.header().line;
    if (reader.header().format.width <= 0 || reader.header().format.height <= 0) __builtin_trap();
    std::vector<uint8_t> frame;
    while (reader.Next(frame)) {
      if (frame.size() != FrameBytes(reader.header().format)) __builtin_trap();
      frames.push_back(frame);
    }
  } catch (const CommandError& e) {
    if (std::strlen(e.what()) == 0 || std::strchr(e.what(), '\n') != nullptr) __builtin_trap();  // one line
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fresh, exactly sized copy, so that reading one byte too far is caught.
  std::vector<uint8_t> input(data, data + size);
  std::string header;
  std::vector<std::vector<uint8_t>> frames;
  if (!ReadAll(input.data(), input.size(), header, frames)) return 0;

  MemorySink sink;
  Y4mWriter writer(sink, header);
  for (const auto& f : frames) writer.Write(f.data(), f.size());
  std::string headerAgain;
  std::vector<std::vector<uint8_t>> framesAgain;
  if (!ReadAll(sink.bytes.data(), sink.bytes.size(), headerAgain, framesAgain)) __builtin_trap();
  if (headerAgain != header || framesAgain != frames) __builtin_trap();
  return 0;
}
