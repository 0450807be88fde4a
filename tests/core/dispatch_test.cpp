// The dispatcher: names, the cap from the caller and from SORVAN_MAX_ISA, and that the table
// a filter plan chooses is the one for the capped level.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "core/dispatch.h"
#include "core/filter_plan.h"
#include "core/kernels/reference_kernels.h"
#include "tests/support/five_layouts.h"

namespace sorvan {
namespace {

constexpr InstructionSet kLevels[] = {InstructionSet::kScalar, InstructionSet::kSse2, InstructionSet::kAvx2,
                                      InstructionSet::kAvx512};

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
  for (const InstructionSet isa : kLevels) {
    InstructionSet parsed = InstructionSet::kScalar;
    std::string upper = InstructionSetName(isa);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(ParseInstructionSet(upper.c_str(), &parsed)) << upper;
    EXPECT_EQ(parsed, isa);
  }
  InstructionSet untouched = InstructionSet::kAvx2;
  for (const char* bad : std::initializer_list<const char*>{"", "avx", "avx5120", "sse", "scalar ", nullptr}) {
    EXPECT_FALSE(ParseInstructionSet(bad, &untouched));
  }
  EXPECT_EQ(untouched, InstructionSet::kAvx2);
}

TEST(Dispatch, CapFromTheCallerIsNeverExceeded) {
  ScopedIsaEnvironment env(nullptr);
  const InstructionSet supported = SupportedInstructionSet();
  for (const InstructionSet cap : kLevels) {
    const SampleKernels<uint8_t>& chosen = SelectKernels(cap);
    const InstructionSet expected = static_cast<int32_t>(cap) < static_cast<int32_t>(supported) ? cap : supported;
    EXPECT_EQ(&chosen, KernelsForInstructionSet(expected)) << InstructionSetName(cap);
  }
  EXPECT_EQ(&SelectKernels(InstructionSet::kScalar), &ReferenceKernels<uint8_t>());
}

TEST(Dispatch, EnvironmentLowersTheCapAndNeverRaisesIt) {
  const InstructionSet supported = SupportedInstructionSet();
  for (const InstructionSet envCap : kLevels) {
    ScopedIsaEnvironment env(InstructionSetName(envCap));
    EXPECT_EQ(EnvironmentInstructionSetCap(), envCap);
    for (const InstructionSet cap : kLevels) {
      int32_t level = static_cast<int32_t>(cap);
      if (static_cast<int32_t>(envCap) < level) level = static_cast<int32_t>(envCap);
      if (static_cast<int32_t>(supported) < level) level = static_cast<int32_t>(supported);
      EXPECT_EQ(&SelectKernels(cap), KernelsForInstructionSet(static_cast<InstructionSet>(level)))
          << "env " << InstructionSetName(envCap) << ", cap " << InstructionSetName(cap);
    }
  }
  ScopedIsaEnvironment garbage("fastest");
  EXPECT_EQ(EnvironmentInstructionSetCap(), kBestInstructionSet);
}

TEST(Dispatch, EveryLevelUpToTheSupportedOneHasADistinctTable) {
  const int32_t supported = static_cast<int32_t>(SupportedInstructionSet());
  for (const InstructionSet isa : kLevels) {
    const SampleKernels<uint8_t>* k = KernelsForInstructionSet(isa);
    if (static_cast<int32_t>(isa) > supported) {
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
    for (const InstructionSet cap : kLevels) {
      FilterArguments a = DefaultArguments();
      a[kForce] = force;
      FilterPlan plan;
      ASSERT_EQ(plan.Init(a, format, 640, 480, cap), PlanStatus::kOk);
      EXPECT_STREQ(plan.KernelName(), SelectKernels(cap).name);
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
