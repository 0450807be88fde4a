// The one way into the core for every caller (each host binding and the command): what the
// caller read from its host for one call of the filter, checked in the one order of the checks,
// giving either a ready plan or the first refusal with its message. A caller only reads its
// host's values into a FilterRequest and reports what comes back.
#pragma once

#include "core/bounded_text.h"
#include "core/filter_plan.h"

namespace sorvan {

// Room for a host's name of a format, as the refusals show it.
using FormatName = BoundedText<64>;

// The clip's format as the caller's host gives it.
struct ClipFormat {
  // The core's description of it; null when the host's format is none the core knows.
  const VideoFormat* description;
  // The host's own name for the format ("YUV420PH", "RGB32", "pixel type 0x…"), which the
  // refusals name; null: "this format".
  const char* hostName;
  // A refusal the interface words itself and makes before any other: a clip its host cannot
  // describe to a plug-in at all (variable format, a 2.5 code other than the five, no video).
  const char* hostRefusal;
};

struct FilterRequest {
  ClipFormat format;
  // The clip's frame size in pixels; zero or less when the host gives the clip no one size.
  int32_t width;
  int32_t height;
  // The arguments as read, the table's defaults for those left out.
  FilterArguments arguments;
  // The refusal of an argument the host passed in a form its parameter does not take (a value of
  // another type, an array), found while reading; null when every argument was read.
  const char* readRefusal;
  // Scratch blocks made ready with the plan, so that a lack of memory shows at creation rather
  // than at the first frame (the plug-ins: 1; the command makes one for each worker it starts).
  int32_t scratchBlocks;
};

enum class RefusalKind : uint8_t {
  kNone,       // the plan is ready
  kSetting,    // SORVAN_MAX_ISA names no instruction set of this build
  kClip,       // the clip: its host's own refusal, no frame size, or a format the core does not compute on
  kArguments,  // an argument as read, a range, the channels or the gray-clip rule
  kMemory,     // the plan or its scratch could not be had
};

using RefusalText = BoundedText<192>;

class PlanRefusal {
 public:
  static PlanRefusal None() { return {}; }
  static PlanRefusal Given(RefusalKind kind, const char* message);
  // A message composed for this refusal, kept in it.
  static PlanRefusal Worded(RefusalKind kind, const RefusalText& message);

  RefusalKind Kind() const { return kind_; }
  explicit operator bool() const { return kind_ != RefusalKind::kNone; }
  // "Sorvan: …"; empty when there is no refusal.
  const char* Message() const { return given_ != nullptr ? given_ : composed_.Text(); }
  // Whether the message lives in this object (a host that shows it after the call returns must
  // copy it); otherwise it is a literal of the core's table or the text the caller passed in.
  bool Composed() const { return given_ == nullptr; }

 private:
  RefusalKind kind_ = RefusalKind::kNone;
  const char* given_ = nullptr;
  RefusalText composed_;
};

// A plan made by MakeFilterPlan, freed with its holder.
class OwnedPlan {
 public:
  OwnedPlan() = default;
  OwnedPlan(const OwnedPlan&) = delete;
  OwnedPlan& operator=(const OwnedPlan&) = delete;
  ~OwnedPlan() { delete plan_; }

  FilterPlan* get() const { return plan_; }
  FilterPlan* operator->() const { return plan_; }
  FilterPlan& operator*() const { return *plan_; }
  explicit operator bool() const { return plan_ != nullptr; }
  void Swap(OwnedPlan& other) {
    FilterPlan* plan = plan_;
    plan_ = other.plan_;
    other.plan_ = plan;
  }

 private:
  friend PlanRefusal MakeFilterPlan(const FilterRequest& request, OwnedPlan* plan);
  FilterPlan* plan_ = nullptr;
};

// The checks in their one order: SORVAN_MAX_ISA naming no level of this build (a setting of the
// whole process, so it comes ahead of anything about this call); the host's own refusal of the
// clip; a frame size; a format the core computes on; the arguments as read; their ranges and
// the channels (FirstArgumentError); the gray-clip rule (ChannelSelectionError). Then the plan,
// for the best kernels the CPU has (no higher than SORVAN_MAX_ISA), with `scratchBlocks` blocks
// ready. On success `*plan` holds it; on a refusal `*plan` is left empty.
PlanRefusal MakeFilterPlan(const FilterRequest& request, OwnedPlan* plan);

}  // namespace sorvan
