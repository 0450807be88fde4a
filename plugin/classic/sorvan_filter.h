// The filter clip: what the host holds for one call of Sorvan in a script. It owns the filter's
// plan and turns each frame of its child into a new, smoothed frame. Frame requests may overlap
// (hosts that force a reentrant mode on any filter): each takes its own scratch from the plan.
#pragma once

#include "core/filter_request.h"
#include "plugin/classic/classic_interface.h"

namespace sorvan {

class Sorvan final : public GenericVideoFilter {
 public:
  // Takes over a ready plan (MakeFilterPlan) for the child's format and size. Makes no call on
  // the environment.
  Sorvan(const PClip& child, OwnedPlan& plan);
  SORVAN_STDCALL ~Sorvan() override;

  PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) override;

  const FilterPlan& Plan() const { return *plan_; }

 private:
  OwnedPlan plan_;
};

}  // namespace sorvan
