#include "cli/stream_filter.h"

#include <fmt/format.h>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

class PlanWorker final : public FrameWorker {
 public:
  PlanWorker(const FilterPlan& plan, const FrameFormat& format) : plan_(plan), format_(format) {}

  void Process(int64_t, const uint8_t* in, uint8_t* out) override {
    FrameView dst = ViewOf(format_, out);
    // Planes nothing is smoothed in are written from the input; the filter need not copy them.
    for (int32_t p = 0; p < format_.video.planeCount; ++p) {
      if (!plan_.PlaneIsFiltered(p)) dst.planes[p].data = nullptr;
    }
    if (!plan_.Process(dst, SourceViewOf(format_, in), kMemoryCopyPlane)) {
      throw CommandError("out of memory for the filter's working space");
    }
  }

 private:
  const FilterPlan& plan_;
  const FrameFormat& format_;
};

}  // namespace

StreamFilter::StreamFilter(const FilterArguments& arguments, const FrameFormat& format) : format_(format) {
  FilterRequest request{};
  request.format = {&format.video, format.video.name, nullptr};
  request.width = format.width;
  request.height = format.height;
  request.arguments = arguments;
  request.scratchBlocks = 0;  // one for each worker, as it starts
  const PlanRefusal refusal = MakeFilterPlan(request, &plan_);
  switch (refusal.Kind()) {
    case RefusalKind::kNone: return;
    case RefusalKind::kSetting:
    case RefusalKind::kArguments: throw FilterArgumentError(refusal.Message());
    case RefusalKind::kClip: throw CommandError(refusal.Message());
    case RefusalKind::kMemory: break;
  }
  throw CommandError(fmt::format("out of memory for the filter of {}x{} frames", format.width, format.height));
}

std::unique_ptr<FrameWorker> StreamFilter::MakeWorker() {
  if (!plan_->ReserveScratch(workers_ + 1)) {
    throw CommandError(fmt::format("out of memory for the working space of worker thread {}", workers_ + 1));
  }
  ++workers_;
  return std::make_unique<PlanWorker>(*plan_, format_);
}

std::vector<OutputPiece> StreamFilter::OutputPieces() const {
  std::vector<OutputPiece> pieces;
  const auto planes = FramePlanes(format_);
  for (int32_t p = 0; p < format_.video.planeCount; ++p) {
    const size_t size = planes[p].rowBytes * static_cast<size_t>(planes[p].height);
    const bool fromInput = !plan_->PlaneIsFiltered(p);
    // Neighbouring planes from the same buffer go out in one piece.
    if (!pieces.empty() && pieces.back().fromInput == fromInput) {
      pieces.back().size += size;
    } else {
      pieces.push_back({planes[p].offset, size, fromInput});
    }
  }
  return pieces;
}

}  // namespace sorvan::cli
