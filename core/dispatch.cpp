#include "core/dispatch.h"

#include "core/kernels/reference_kernels.h"

#include "core/x86/cpu_features.h"
#include "core/x86/x86_kernels.h"

namespace sorvan {
namespace {

constexpr const char* kNames[] = {"scalar", "sse2", "avx2", "avx512"};

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    if (ca != *b) return false;
  }
  return *a == *b;
}

InstructionSet Lower(InstructionSet a, InstructionSet b) {
  return static_cast<int32_t>(a) < static_cast<int32_t>(b) ? a : b;
}

// The level a selection may use: the caller's cap, the environment's and the CPU's.
InstructionSet UsableLevel(InstructionSet cap) {
  return Lower(Lower(cap, EnvironmentInstructionSetCap()), SupportedInstructionSet());
}

// The tables of one sample type at each level; nullptr where the level has none for it.
template <typename T>
struct TypedTables {
  const SampleKernels<T>* sse2;
  const SampleKernels<T>* avx2;
  const SampleKernels<T>* avx512;
  const SampleKernels<T>* avx512Vnni;
};

template <typename T>
const SampleKernels<T>* TypedForInstructionSet(const TypedTables<T>& t, InstructionSet isa) {
  if (isa == InstructionSet::kScalar) return &ReferenceKernels<T>();
#if SORVAN_X86
  const CpuFeatures f = DetectCpuFeatures();
  switch (isa) {
    case InstructionSet::kSse2: return f.sse2 ? t.sse2 : nullptr;
    case InstructionSet::kAvx2: return f.avx2 ? t.avx2 : nullptr;
    case InstructionSet::kAvx512:
      if (!f.avx512) return nullptr;
      return f.avx512Vnni && t.avx512Vnni != nullptr ? t.avx512Vnni : t.avx512;
    default: return nullptr;
  }
#else
  (void)t;
  return nullptr;
#endif
}

template <typename T>
int32_t ListTyped(const TypedTables<T>& t, TypedKernelVariant<T>* variants, int32_t capacity) {
  TypedKernelVariant<T> all[kMaxKernelVariants];
  int32_t count = 0;
  all[count++] = {"reference", InstructionSet::kScalar, &ReferenceKernels<T>()};
#if SORVAN_X86
  const CpuFeatures f = DetectCpuFeatures();
  if (t.sse2 != nullptr) all[count++] = {"sse2", InstructionSet::kSse2, f.sse2 ? t.sse2 : nullptr};
  if (t.avx2 != nullptr) all[count++] = {"avx2", InstructionSet::kAvx2, f.avx2 ? t.avx2 : nullptr};
  if (t.avx512 != nullptr) all[count++] = {"avx512", InstructionSet::kAvx512, f.avx512 ? t.avx512 : nullptr};
  if (t.avx512Vnni != nullptr) {
    all[count++] = {"avx512vnni", InstructionSet::kAvx512, f.avx512Vnni ? t.avx512Vnni : nullptr};
  }
#endif
  for (int32_t i = 0; i < count && i < capacity; ++i) variants[i] = all[i];
  return count;
}

template <typename T>
const SampleKernels<T>& SelectTyped(const TypedTables<T>& t, InstructionSet cap) {
  for (int32_t i = static_cast<int32_t>(UsableLevel(cap)); i > 0; --i) {
    const SampleKernels<T>* k = TypedForInstructionSet(t, static_cast<InstructionSet>(i));
    if (k != nullptr) return *k;
  }
  return ReferenceKernels<T>();
}

TypedTables<uint16_t> WordTables() {
#if SORVAN_X86
  return {&Sse2WordKernels(), &Avx2WordKernels(), &Avx512WordKernels(), &Avx512VnniWordKernels()};
#else
  return {nullptr, nullptr, nullptr, nullptr};
#endif
}

TypedTables<float> FloatTables() {
#if SORVAN_X86
  return {nullptr, &Avx2FloatKernels(), &Avx512FloatKernels(), nullptr};
#else
  return {nullptr, nullptr, nullptr, nullptr};
#endif
}

}  // namespace

const char* InstructionSetName(InstructionSet isa) {
  const int32_t i = static_cast<int32_t>(isa);
  return (i >= 0 && i <= 3) ? kNames[i] : "unknown";
}

bool ParseInstructionSet(const char* name, InstructionSet* isa) {
  if (name == nullptr) return false;
  for (int32_t i = 0; i <= 3; ++i) {
    if (SameIgnoringCase(name, kNames[i])) {
      *isa = static_cast<InstructionSet>(i);
      return true;
    }
  }
  return false;
}

InstructionSet SupportedInstructionSet() {
  const CpuFeatures f = DetectCpuFeatures();
  if (f.avx512) return InstructionSet::kAvx512;
  if (f.avx2) return InstructionSet::kAvx2;
  if (f.sse2) return InstructionSet::kSse2;
  return InstructionSet::kScalar;
}

InstructionSet EnvironmentInstructionSetCap() {
  InstructionSet cap = kBestInstructionSet;
  if (!ParseInstructionSet(getenv("SORVAN_MAX_ISA"), &cap)) return kBestInstructionSet;
  return cap;
}

const SampleKernels<uint8_t>* KernelsForInstructionSet(InstructionSet isa) {
  if (isa == InstructionSet::kScalar) return &ReferenceKernels<uint8_t>();
#if SORVAN_X86
  const CpuFeatures f = DetectCpuFeatures();
  switch (isa) {
    case InstructionSet::kSse2: return f.sse2 ? &Sse2Kernels() : nullptr;
    case InstructionSet::kAvx2: return f.avx2 ? &Avx2Kernels() : nullptr;
    case InstructionSet::kAvx512:
      if (!f.avx512) return nullptr;
      return f.avx512Vnni ? &Avx512VnniKernels() : &Avx512Kernels();
    default: return nullptr;
  }
#else
  return nullptr;
#endif
}

int32_t ListKernelVariants(KernelVariant* variants, int32_t capacity) {
  KernelVariant all[kMaxKernelVariants];
  int32_t count = 0;
  all[count++] = {"reference", InstructionSet::kScalar, &ReferenceKernels<uint8_t>()};
#if SORVAN_X86
  const CpuFeatures f = DetectCpuFeatures();
  all[count++] = {"sse2", InstructionSet::kSse2, f.sse2 ? &Sse2Kernels() : nullptr};
  all[count++] = {"avx2", InstructionSet::kAvx2, f.avx2 ? &Avx2Kernels() : nullptr};
  all[count++] = {"avx512", InstructionSet::kAvx512, f.avx512 ? &Avx512Kernels() : nullptr};
  all[count++] = {"avx512vnni", InstructionSet::kAvx512, f.avx512Vnni ? &Avx512VnniKernels() : nullptr};
#endif
  for (int32_t i = 0; i < count && i < capacity; ++i) variants[i] = all[i];
  return count;
}

const SampleKernels<uint8_t>& SelectKernels(InstructionSet cap) {
  InstructionSet level = Lower(Lower(cap, EnvironmentInstructionSetCap()), SupportedInstructionSet());
  for (int32_t i = static_cast<int32_t>(level); i > 0; --i) {
    const SampleKernels<uint8_t>* k = KernelsForInstructionSet(static_cast<InstructionSet>(i));
    if (k != nullptr) return *k;
  }
  return ReferenceKernels<uint8_t>();
}

const SampleKernels<uint16_t>* WordKernelsForInstructionSet(InstructionSet isa) {
  return TypedForInstructionSet(WordTables(), isa);
}

int32_t ListWordKernelVariants(TypedKernelVariant<uint16_t>* variants, int32_t capacity) {
  return ListTyped(WordTables(), variants, capacity);
}

const SampleKernels<uint16_t>& SelectWordKernels(InstructionSet cap) { return SelectTyped(WordTables(), cap); }

const SampleKernels<float>* FloatKernelsForInstructionSet(InstructionSet isa) {
  return TypedForInstructionSet(FloatTables(), isa);
}

int32_t ListFloatKernelVariants(TypedKernelVariant<float>* variants, int32_t capacity) {
  return ListTyped(FloatTables(), variants, capacity);
}

const SampleKernels<float>& SelectFloatKernels(InstructionSet cap) { return SelectTyped(FloatTables(), cap); }

}  // namespace sorvan
