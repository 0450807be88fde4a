#include "core/dispatch.h"

#include "core/architecture.h"
#include "core/kernels/reference_kernels.h"

namespace sorvan {

#if SORVAN_ARCH_PORTABLE
Ladder ArchitectureLadder() { return {nullptr, 0}; }
#endif

// The dispatch's view of a level: its place on the ladder.
struct LadderPosition {
  static constexpr InstructionSet At(int32_t rung) { return InstructionSet(rung); }
  // 0 for the reference, else the rung's number (1 for the lowest), kBest as the top rung.
  static int32_t Of(InstructionSet isa, const Ladder& ladder) {
    return isa.rung_ < ladder.count ? isa.rung_ : ladder.count;
  }
};

namespace {

constexpr const char* kScalarName = "scalar";

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    if (ca != *b) return false;
  }
  return *a == *b;
}

InstructionSet Lower(InstructionSet a, InstructionSet b) { return a < b ? a : b; }

bool Runs(const KernelPath& path) { return path.kernels != nullptr && path.runs(); }

// Rung n (1 for the lowest) of the ladder.
const LadderRung& Rung(const Ladder& ladder, int32_t n) { return ladder.rungs[n - 1]; }

template <typename T>
const SampleKernels<T>* RungTable(const LadderRung& rung) {
  for (const KernelPath& path : rung.paths) {
    if (Runs(path) && TableOf<T>(*path.kernels) != nullptr) return TableOf<T>(*path.kernels);
  }
  return nullptr;
}

}  // namespace

const char* InstructionSetName(InstructionSet isa) {
  const Ladder ladder = ArchitectureLadder();
  const int32_t n = LadderPosition::Of(isa, ladder);
  return n == 0 ? kScalarName : Rung(ladder, n).name;
}

bool ParseInstructionSet(const char* name, InstructionSet* isa) {
  if (name == nullptr) return false;
  if (SameIgnoringCase(name, kScalarName)) {
    *isa = InstructionSet::kScalar;
    return true;
  }
  const Ladder ladder = ArchitectureLadder();
  for (int32_t n = 1; n <= ladder.count; ++n) {
    if (SameIgnoringCase(name, Rung(ladder, n).name)) {
      *isa = LadderPosition::At(n);
      return true;
    }
  }
  return false;
}

int32_t ListInstructionSets(InstructionSet* levels, int32_t capacity) {
  const int32_t count = 1 + ArchitectureLadder().count;
  for (int32_t n = 0; n < count && n < capacity; ++n) levels[n] = LadderPosition::At(n);
  return count;
}

InstructionSet SupportedInstructionSet() {
  const Ladder ladder = ArchitectureLadder();
  for (int32_t n = ladder.count; n > 0; --n) {
    for (const KernelPath& path : Rung(ladder, n).paths) {
      if (Runs(path)) return LadderPosition::At(n);
    }
  }
  return InstructionSet::kScalar;
}

InstructionSet EnvironmentInstructionSetCap() {
  InstructionSet cap = InstructionSet::kBest;
  if (!ParseInstructionSet(getenv("SORVAN_MAX_ISA"), &cap)) return InstructionSet::kBest;
  return cap;
}

const char* UnrecognisedInstructionSetCap() {
  const char* value = getenv("SORVAN_MAX_ISA");
  InstructionSet ignored;
  if (value == nullptr || *value == '\0' || ParseInstructionSet(value, &ignored)) return nullptr;
  return value;
}

template <typename T>
const SampleKernels<T>* KernelsForInstructionSet(InstructionSet isa) {
  const Ladder ladder = ArchitectureLadder();
  const int32_t n = LadderPosition::Of(isa, ladder);
  return n == 0 ? &ReferenceKernels<T>() : RungTable<T>(Rung(ladder, n));
}

template <typename T>
int32_t ListKernelVariants(KernelVariant<T>* variants, int32_t capacity) {
  const Ladder ladder = ArchitectureLadder();
  int32_t count = 0;
  auto add = [&](const KernelVariant<T>& v) {
    if (count < capacity) variants[count] = v;
    ++count;
  };
  add({ReferenceKernels<T>().name, InstructionSet::kScalar, &ReferenceKernels<T>()});
  for (int32_t n = 1; n <= ladder.count; ++n) {
    for (const KernelPath& path : Rung(ladder, n).paths) {
      const SampleKernels<T>* table = path.kernels != nullptr ? TableOf<T>(*path.kernels) : nullptr;
      if (table != nullptr) add({table->name, LadderPosition::At(n), Runs(path) ? table : nullptr});
    }
  }
  return count;
}

template <typename T>
const SampleKernels<T>& SelectKernels(InstructionSet cap) {
  const Ladder ladder = ArchitectureLadder();
  const InstructionSet level = Lower(Lower(cap, EnvironmentInstructionSetCap()), SupportedInstructionSet());
  for (int32_t n = LadderPosition::Of(level, ladder); n > 0; --n) {
    if (const SampleKernels<T>* table = RungTable<T>(Rung(ladder, n))) return *table;
  }
  return ReferenceKernels<T>();
}

#define SORVAN_DISPATCH(T)                                                      \
  template const SampleKernels<T>* KernelsForInstructionSet<T>(InstructionSet); \
  template int32_t ListKernelVariants<T>(KernelVariant<T>*, int32_t);           \
  template const SampleKernels<T>& SelectKernels<T>(InstructionSet);
SORVAN_DISPATCH(uint8_t)
SORVAN_DISPATCH(uint16_t)
SORVAN_DISPATCH(float)
#undef SORVAN_DISPATCH

}  // namespace sorvan
