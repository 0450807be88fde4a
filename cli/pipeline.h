// The ordered multi-threaded frame pipeline: the calling thread reads, worker threads filter,
// one thread writes in frame order. Frames come out in input order whatever the timing, so the
// output does not depend on the number of workers.
//
// Memory follows the frames, not the header: a frame's buffers are made when a frame is read
// into them, at most 2·threads + 2 frames are in flight, and worker n starts only when frame n
// has been read, so a stream of F frames never has more than F workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
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

// A part of the frame written out: from the filtered frame, or straight from the frame read
// (planes the filter leaves alone are never copied).
struct OutputPiece {
  size_t offset;
  size_t size;
  bool fromInput;
};

struct PipelineConfig {
  size_t frameBytes = 0;
  // How a frame is written; empty for the whole filtered frame.
  std::vector<OutputPiece> outputPieces;
  int64_t maxFrames = -1;  // stop after this many frames; -1 for the whole stream
  int threads = 1;         // most workers
  // Makes the worker of a thread about to start (on the reading thread). May throw.
  std::function<std::unique_ptr<FrameWorker>()> makeWorker;
  // Called on the writing thread after each frame has been written, with the count so far.
  std::function<void(int64_t)> onFrameWritten;
  // Starts a thread; the default is std::thread. May throw std::system_error.
  std::function<std::thread(std::function<void()>)> startThread;
};

// The most frames in flight for a number of workers.
constexpr size_t FramesInFlight(int threads) { return 2 * static_cast<size_t>(threads) + 2; }

// Runs the pipeline until the reader ends (or maxFrames). Returns the number of frames written.
// The first error of any thread stops every thread and is rethrown here once all are joined; a
// thread that cannot be started is such an error (CommandError).
int64_t RunPipeline(FrameReader& reader, FrameWriter& writer, const PipelineConfig& config);

}  // namespace sorvan::cli
