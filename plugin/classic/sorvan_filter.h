// The filter clip: what the host holds for one call of Sorvan in a script. It owns the settings
// and the tables they call for, and turns each frame of its child into a new, smoothed frame.
#pragma once

#include "core/filter_settings.h"
#include "plugin/classic/classic_interface.h"

namespace sorvan {

class Sorvan final : public GenericVideoFilter {
 public:
  // Takes validated, effective values. Makes no call on the environment; when memory runs out
  // while the tables are built the object is left incomplete (see IsComplete) and holds none.
  Sorvan(const PClip& child, int rad, int str, bool ry, bool gu, bool bv, bool force, int pry, int pgu, int pbv,
         int nry, int ngu, int nbv, IScriptEnvironment* env);
  SORVAN_STDCALL ~Sorvan() override;

  PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) override;

  // True when every table the settings call for exists; only a complete filter is handed out.
  bool IsComplete() const { return complete_; }
  const FilterSettings& Settings() const { return settings_; }

 private:
  FilterSettings settings_;
  bool complete_;
};

}  // namespace sorvan
