// The filter clip: what the host holds for one call of Sorvan in a script. It owns the filter's
// plan and turns each frame of its child into a new, smoothed frame. Frame requests may overlap
// (hosts that force a reentrant mode on any filter): each takes its own scratch from the plan.
#pragma once

#include "core/filter_plan.h"
#include "plugin/classic/classic_interface.h"

namespace sorvan {

class Sorvan final : public GenericVideoFilter {
 public:
  // Takes validated, effective values. Makes no call on the environment; when memory for the
  // first frame's scratch cannot be had the object is left incomplete (see IsComplete).
  Sorvan(const PClip& child, const FilterArguments& arguments, const VideoFormat& format);
  SORVAN_STDCALL ~Sorvan() override;

  PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) override;

  // True when the plan and one frame's scratch exist; only a complete filter is handed out.
  bool IsComplete() const { return complete_; }
  const FilterPlan& Plan() const { return plan_; }

 private:
  FilterPlan plan_;
  bool complete_;
};

}  // namespace sorvan
