// The dispatch: names, the cap from the caller and from SORVAN_MAX_ISA (and the report of a
// value that names no level), the step down for a sample type a level has no table for, and
// that the table a filter plan chooses is the one for the capped level.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/dispatch.h"
#include "core/filter_plan.h"
#include "core/kernels/reference_kernels.h"
#include "tests/support/five_layouts.h"

namespace sorvan {
namespace {

// Every level of this build, lowest first.
std::vector<InstructionSet> Levels() {
  InstructionSet levels[kMaxInstructionSets];
  const int32_t count = ListInstructionSets(levels, kMaxInstructionSets);
  return std::vector<InstructionSet>(levels, levels + count);
}

// Sets or clears SORVAN_MAX_ISA for one test and restores it afterwards.
class ScopedIsaEnvironment {
 public:
  explicit ScopedIsaEnvironment(const char* value) {
    if (const char* old = std::getenv("SORVAN_MAX_ISA")) saved_ = old, hadValue_ = true;
    if (value != nullptr) {
      setenv("SORVAN_MAX_ISA", value, 1);
    } else {
      unsetenv("SORVAN_MAX_ISA");
    }
  }
  ~ScopedIsaEnvironment() {
    if (hadValue_) {
      setenv("SORVAN_MAX_ISA", saved_.c_str(), 1);
    } else {
      unsetenv("SORVAN_MAX_ISA");
    }
  }

 private:
  std::string saved_;
  bool hadValue_ = false;
};

TEST(Dispatch, NamesParseBackIgnoringCase) {
  EXPECT_EQ(Levels().front(), InstructionSet::kScalar);
  EXPECT_STREQ(InstructionSetName(InstructionSet::kScalar), "scalar");
  EXPECT_STREQ(InstructionSetName(kBestInstructionSet), InstructionSetName(Levels().back()));
  for (const InstructionSet isa : Levels()) {
    InstructionSet parsed = InstructionSet::kScalar;
    std::string upper = InstructionSetName(isa);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(ParseInstructionSet(upper.c_str(), &parsed)) << upper;
    EXPECT_EQ(parsed, isa);
  }
  InstructionSet untouched = Levels().back();
  for (const char* bad : std::initializer_list<const char*>{"", "avx", "avx5120", "sse", "scalar ", "bogus", nullptr}) {
    EXPECT_FALSE(ParseInstructionSet(bad, &untouched));
  }
  EXPECT_EQ(untouched, Levels().back());
}

// The table the selection must give for T when levels up to `reach` are allowed: the highest
// such level's that has one for T.
template <typename T>
const SampleKernels<T>* HighestTableWithin(InstructionSet reach) {
  const SampleKernels<T>* expected = &ReferenceKernels<T>();
  for (const InstructionSet level : Levels()) {
    if (!(reach < level) && KernelsForInstructionSet<T>(level) != nullptr)
      expected = KernelsForInstructionSet<T>(level);
  }
  return expected;
}

InstructionSet Lower(InstructionSet a, InstructionSet b) { return a < b ? a : b; }

template <typename T>
void ExpectSelectionWithin(InstructionSet environmentCap) {
  for (const InstructionSet cap : Levels()) {
    const InstructionSet reach = Lower(Lower(cap, environmentCap), SupportedInstructionSet());
    EXPECT_EQ(&SelectKernels<T>(cap), HighestTableWithin<T>(reach))
        << "cap " << InstructionSetName(cap) << ", sample bytes " << sizeof(T);
  }
  EXPECT_EQ(&SelectKernels<T>(InstructionSet::kScalar), &ReferenceKernels<T>());
}

TEST(Dispatch, CapFromTheCallerIsNeverExceededForAnySampleType) {
  ScopedIsaEnvironment env(nullptr);
  ExpectSelectionWithin<uint8_t>(kBestInstructionSet);
  ExpectSelectionWithin<uint16_t>(kBestInstructionSet);
  ExpectSelectionWithin<float>(kBestInstructionSet);
}

TEST(Dispatch, EnvironmentLowersTheCapAndNeverRaisesIt) {
  for (const InstructionSet envCap : Levels()) {
    ScopedIsaEnvironment env(InstructionSetName(envCap));
    EXPECT_EQ(EnvironmentInstructionSetCap(), envCap);
    EXPECT_EQ(UnrecognisedInstructionSetCap(), nullptr);
    ExpectSelectionWithin<uint8_t>(envCap);
    ExpectSelectionWithin<uint16_t>(envCap);
    ExpectSelectionWithin<float>(envCap);
  }
}

// A value that names no level caps nothing, and the dispatch says which value it was.
TEST(Dispatch, AnUnrecognisedCapIsReportedAndCapsNothing) {
  for (const char* value : {"bogus", "fastest", "avx512vnni", "scalar "}) {
    ScopedIsaEnvironment env(value);
    EXPECT_EQ(EnvironmentInstructionSetCap(), kBestInstructionSet);
    ASSERT_NE(UnrecognisedInstructionSetCap(), nullptr);
    EXPECT_STREQ(UnrecognisedInstructionSetCap(), value);
    ExpectSelectionWithin<uint8_t>(kBestInstructionSet);
  }
  for (const char* value : {static_cast<const char*>(nullptr), "", "SCALAR"}) {
    ScopedIsaEnvironment env(value);
    EXPECT_EQ(UnrecognisedInstructionSetCap(), nullptr) << (value != nullptr ? value : "unset");
  }
}

TEST(Dispatch, EveryLevelUpToTheSupportedOneHasADistinctTable) {
  const InstructionSet supported = SupportedInstructionSet();
  for (const InstructionSet isa : Levels()) {
    const SampleKernels<uint8_t>* k = KernelsForInstructionSet<uint8_t>(isa);
    if (supported < isa) {
      EXPECT_EQ(k, nullptr) << InstructionSetName(isa);
      continue;
    }
    ASSERT_NE(k, nullptr) << InstructionSetName(isa);
    EXPECT_EQ(k == &ReferenceKernels<uint8_t>(), isa == InstructionSet::kScalar);
    EXPECT_EQ(k->workspaceBytes(640) != 0, isa != InstructionSet::kScalar);
    EXPECT_EQ(k->gaussianMerge == nullptr, isa == InstructionSet::kScalar);
  }
}

TEST(Dispatch, APlanChoosesTheCappedTable) {
  ScopedIsaEnvironment env(nullptr);
  const VideoFormat format = testing::Yv12();
  for (const bool force : {false, true}) {
    for (const InstructionSet cap : Levels()) {
      FilterArguments a = DefaultArguments();
      a[kForce] = force;
      FilterPlan plan;
      ASSERT_EQ(plan.Init(a, format, 640, 480, cap), PlanStatus::kOk);
      EXPECT_STREQ(plan.KernelName(), SelectKernels<uint8_t>(cap).name);
    }
  }
}

}  // namespace
}  // namespace sorvan

namespace sorvan {
namespace {

// A clip too large for any memory: the plan is made, and its scratch is refused cleanly rather
// than overflowing a size computation.
TEST(Dispatch, ScratchForAnImpossibleClipIsRefusedCleanly) {
  const VideoFormat format = testing::Rgb32();
  FilterArguments a = DefaultArguments();
  a[kForce] = 1;
  FilterPlan plan;
  const PlanStatus status = plan.Init(a, format, 0x7FFFFFFF, 0x7FFFFFFF);
  if (status == PlanStatus::kOk) {
    EXPECT_TRUE(plan.ReserveScratch(1));  // window² offsets only, without row buffers
    EXPECT_STREQ(plan.KernelName(), "reference");
  }
  a[kForce] = 0;
  FilterPlan gaussian;
  const PlanStatus g = gaussian.Init(a, format, 0x7FFFFFFF, 0x7FFFFFFF);
  EXPECT_TRUE(g == PlanStatus::kOutOfMemory || !gaussian.ReserveScratch(1));
}

}  // namespace
}  // namespace sorvan
