// The ordered multi-threaded frame pipeline: the calling thread reads, one thread per worker
// filters, one thread writes in frame order. Each worker owns its own filter object, so no
// filter is ever used by two threads; frames come out in input order whatever the timing, so
// the output does not depend on the number of workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "cli/frame_stream.h"

namespace sorvan::cli {

class FrameWorker {
 public:
  virtual ~FrameWorker() = default;
  // Filters frame `frameNumber` from `in` into `out`, both `frameBytes` long in the stream's
  // layout. Called from one thread at a time per worker. May throw CommandError.
  virtual void Process(int64_t frameNumber, const uint8_t* in, uint8_t* out) = 0;
};

struct PipelineConfig {
  size_t frameBytes = 0;
  int64_t maxFrames = -1;  // stop after this many frames; -1 for the whole stream
  // Called on the writing thread after each frame has been written, with the count so far.
  std::function<void(int64_t)> onFrameWritten;
};

// Runs the pipeline until the reader ends (or maxFrames). Returns the number of frames written.
// The first error of any thread stops every thread and is rethrown here.
int64_t RunPipeline(FrameReader& reader, FrameWriter& writer, std::vector<std::unique_ptr<FrameWorker>>& workers,
                    const PipelineConfig& config);

}  // namespace sorvan::cli
