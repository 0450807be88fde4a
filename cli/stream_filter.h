// The filter of one stream: one plan of the core, fixed before the first frame and shared by
// every worker thread (a plan is never written after Init, and each call takes its own scratch).
#pragma once

#include <memory>
#include <vector>

#include "cli/frame_format.h"
#include "cli/pipeline.h"
#include "core/filter_request.h"

namespace sorvan::cli {

class StreamFilter {
 public:
  // Fixes the plan. Throws FilterArgumentError with the script function's own message when the
  // arguments or SORVAN_MAX_ISA are refused, CommandError for anything else.
  StreamFilter(const FilterArguments& arguments, const FrameFormat& format);
  StreamFilter(const StreamFilter&) = delete;
  StreamFilter& operator=(const StreamFilter&) = delete;

  // A worker for one more thread, with a scratch block ready for it; CommandError when the
  // memory for it cannot be had.
  std::unique_ptr<FrameWorker> MakeWorker();

  // How to write a frame: the planes the filter changes from its output, the others straight
  // from the input.
  std::vector<OutputPiece> OutputPieces() const;

 private:
  FrameFormat format_;
  OwnedPlan plan_;
  int32_t workers_ = 0;
};

}  // namespace sorvan::cli
