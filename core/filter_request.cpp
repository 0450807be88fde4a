#include "core/filter_request.h"

#include "core/dispatch.h"

namespace sorvan {
namespace {

constexpr const char* kNotSupported = " is not supported: use 8 to 16-bit integer or 32-bit float samples";
constexpr const char* kNoFrameSize = " clips of variable size are not supported: give the clip one frame size";

// Sorvan: SORVAN_MAX_ISA="avx9" names no instruction set of this build (scalar, sse2, avx2, avx512)
PlanRefusal UnrecognisedCapRefusal(const char* value) {
  RefusalText message;
  message.Append("Sorvan: SORVAN_MAX_ISA=\"").AppendShown(value, 32);
  message.Append("\" names no instruction set of this build (");
  InstructionSet levels[kMaxInstructionSets];
  const int32_t count = ListInstructionSets(levels, kMaxInstructionSets);
  for (int32_t i = 0; i < count && i < kMaxInstructionSets; ++i) {
    message.Append(i > 0 ? ", " : "").Append(InstructionSetName(levels[i]));
  }
  message.Append(")");
  return PlanRefusal::Worded(RefusalKind::kSetting, message);
}

// The refusal of the setting, the clip or the arguments, in the one order; none when all checks pass.
PlanRefusal FirstRefusal(const FilterRequest& r) {
  if (const char* cap = UnrecognisedInstructionSetCap()) return UnrecognisedCapRefusal(cap);
  const ClipFormat& f = r.format;
  RefusalText named;
  named.Append("Sorvan: ").Append(f.hostName != nullptr ? f.hostName : "this format");
  if (f.hostRefusal != nullptr) return PlanRefusal::Given(RefusalKind::kClip, f.hostRefusal);
  if (r.width <= 0 || r.height <= 0) return PlanRefusal::Worded(RefusalKind::kClip, named.Append(kNoFrameSize));
  if (f.description == nullptr || !IsProcessableFormat(*f.description)) {
    return PlanRefusal::Worded(RefusalKind::kClip, named.Append(kNotSupported));
  }
  if (r.readRefusal != nullptr) return PlanRefusal::Given(RefusalKind::kArguments, r.readRefusal);
  if (const char* error = FirstArgumentError(r.arguments)) return PlanRefusal::Given(RefusalKind::kArguments, error);
  if (const char* error = ChannelSelectionError(r.arguments, *f.description)) {
    return PlanRefusal::Given(RefusalKind::kArguments, error);
  }
  return PlanRefusal::None();
}

}  // namespace

PlanRefusal PlanRefusal::Given(RefusalKind kind, const char* message) {
  PlanRefusal refusal;
  refusal.kind_ = kind;
  refusal.given_ = message;
  return refusal;
}

PlanRefusal PlanRefusal::Worded(RefusalKind kind, const RefusalText& message) {
  PlanRefusal refusal;
  refusal.kind_ = kind;
  refusal.composed_ = message;
  return refusal;
}

PlanRefusal MakeFilterPlan(const FilterRequest& request, OwnedPlan* plan) {
  delete plan->plan_;
  plan->plan_ = nullptr;
  if (PlanRefusal refusal = FirstRefusal(request)) return refusal;
  FilterPlan* made = new FilterPlan;
  // Init makes no check the ones above have not made, so what can still fail is memory: the
  // plan's tables and scratch.
  if (made == nullptr ||
      made->Init(request.arguments, *request.format.description, request.width, request.height) != PlanStatus::kOk ||
      !made->ReserveScratch(request.scratchBlocks)) {
    delete made;
    return PlanRefusal::Given(RefusalKind::kMemory, kOutOfMemoryMessage);
  }
  plan->plan_ = made;
  return PlanRefusal::None();
}

}  // namespace sorvan
