// The dispatcher: names, the cap from the caller and from SORVAN_MAX_ISA, and that the table
// PrepareFilterTables chooses is the one for the capped level.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "core/dispatch.h"
#include "core/filter_settings.h"
#include "plugin/classic/pixel_type.h"

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
    const ChannelKernels& chosen = SelectKernels(cap);
    const InstructionSet expected = static_cast<int32_t>(cap) < static_cast<int32_t>(supported) ? cap : supported;
    EXPECT_EQ(&chosen, KernelsForInstructionSet(expected)) << InstructionSetName(cap);
  }
  EXPECT_EQ(&SelectKernels(InstructionSet::kScalar), &ReferenceKernels());
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
    const ChannelKernels* k = KernelsForInstructionSet(isa);
    if (static_cast<int32_t>(isa) > supported) {
      EXPECT_EQ(k, nullptr) << InstructionSetName(isa);
      continue;
    }
    ASSERT_NE(k, nullptr) << InstructionSetName(isa);
    EXPECT_EQ(k == &ReferenceKernels(), isa == InstructionSet::kScalar);
    EXPECT_EQ(k->needsWorkspace, isa != InstructionSet::kScalar);
    EXPECT_EQ(k->gaussianSurroundMerge == nullptr, isa == InstructionSet::kScalar);
  }
}

TEST(Dispatch, PrepareFilterTablesChoosesTheCappedTableAndSizesItsWorkspace) {
  ScopedIsaEnvironment env(nullptr);
  for (const bool force : {false, true}) {
    for (const InstructionSet cap : kLevels) {
      FilterSettings settings;
      settings.force = force;
      settings.maxInstructionSet = cap;
      ASSERT_TRUE(PrepareFilterTables(settings, CS_YV12, 640, 480));
      EXPECT_EQ(settings.kernels, &SelectKernels(cap));
      const size_t expected = settings.kernels->needsWorkspace ? KernelWorkspaceEntries(640) : 0;
      EXPECT_EQ(settings.workspace.size(), expected);
    }
  }
}

}  // namespace
}  // namespace sorvan

namespace sorvan {
namespace {

// The workspace only speeds things up: when it cannot be had the filter still gets its tables
// and runs on the reference.
TEST(Dispatch, NoMemoryForTheWorkspaceFallsBackToTheReference) {
  FilterSettings settings;
  settings.force = true;
  ASSERT_TRUE(PrepareFilterTables(settings, CS_BGR32, 0x7FFFFFFF, 0x7FFFFFFF));
  EXPECT_EQ(settings.kernels, &ReferenceKernels());
  EXPECT_TRUE(settings.workspace.empty());
  EXPECT_EQ(settings.boxOffsets.size(), 121u);
}

}  // namespace
}  // namespace sorvan
