// The one way into the core: each check of a call refuses ahead of every later one, with the
// message and kind every caller reports; what passes them all is a ready plan. And the one
// bounded text builder those messages are made with.
#include "core/filter_request.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/expected_channel.h"

namespace sorvan::testing {
namespace {

const VideoFormat kYuv420 = PlanarFormat({.widthShift = 1, .heightShift = 1});
const VideoFormat kGray = PlanarFormat({.family = ColourFamily::kGray});
const VideoFormat kSevenBits = PlanarFormat({.bitsPerSample = 7});

struct Case {
  const char* name;
  const VideoFormat* format;
  const char* hostName;
  const char* hostRefusal;
  int32_t width;
  const char* readRefusal;
  FilterArguments arguments;
  RefusalKind kind;
  const char* message;
};

// Each case breaks one check and every later one, so only the order lets the first through.
const Case kCases[] = {
    {"host_refusal", nullptr, "YUV420PH", "Sorvan: the host's own words", 0, "read", Arguments({{kRad, 0}}),
     RefusalKind::kClip, "Sorvan: the host's own words"},
    {"no_frame_size", nullptr, "YUV420PH", nullptr, 0, "read", Arguments({{kRad, 0}}), RefusalKind::kClip,
     "Sorvan: YUV420PH clips of variable size are not supported: give the clip one frame size"},
    {"unknown_format", nullptr, "YUV420PH", nullptr, 64, "read", Arguments({{kRad, 0}}), RefusalKind::kClip,
     "Sorvan: YUV420PH is not supported: use 8 to 16-bit integer or 32-bit float samples"},
    {"format_the_core_does_not_compute_on", &kSevenBits, nullptr, nullptr, 64, "read", Arguments({{kRad, 0}}),
     RefusalKind::kClip, "Sorvan: this format is not supported: use 8 to 16-bit integer or 32-bit float samples"},
    {"argument_as_read", &kGray, "Y8", nullptr, 64, "Sorvan: rad must be one integer", Arguments({{kRad, 0}}),
     RefusalKind::kArguments, "Sorvan: rad must be one integer"},
    {"range", &kGray, "Y8", nullptr, 64, nullptr, Arguments({{kRad, 0}, {kGu, 0}, {kBv, 0}}), RefusalKind::kArguments,
     "Sorvan:rad must be between 1 and 8"},
    {"gray_rule", &kGray, "Y8", nullptr, 64, nullptr, DefaultArguments(), RefusalKind::kArguments,
     "Sorvan: a clip without colour planes has only channel 0: set ry=true"},
    {"impossible_size", &kYuv420, "YV12", nullptr, 0x7FFFFFFF, nullptr, DefaultArguments(), RefusalKind::kMemory,
     kOutOfMemoryMessage},
    {"ready", &kYuv420, "YV12", nullptr, 64, nullptr, DefaultArguments(), RefusalKind::kNone, ""},
};

class FilterRequests : public ::testing::TestWithParam<Case> {};

TEST_P(FilterRequests, FirstFailingCheckRefusesAndOnlyAPassingCallHasAPlan) {
  const Case& c = GetParam();
  FilterRequest request{};
  request.format = {c.format, c.hostName, c.hostRefusal};
  request.width = c.width;
  request.height = c.width;
  request.arguments = c.arguments;
  request.readRefusal = c.readRefusal;
  request.scratchBlocks = 1;
  OwnedPlan plan;
  const PlanRefusal refusal = MakeFilterPlan(request, &plan);
  EXPECT_EQ(refusal.Kind(), c.kind);
  EXPECT_STREQ(refusal.Message(), c.message);
  EXPECT_EQ(static_cast<bool>(plan), c.kind == RefusalKind::kNone);
}

INSTANTIATE_TEST_SUITE_P(Checks, FilterRequests, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BoundedText, ComposesNumbersAndKnowsWhenItCutsOff) {
  BoundedText<40> text;
  text.Append("pixel type 0x").AppendHex(0xA0000008u, 8).Append(" ").AppendDecimal(0).AppendDecimal(4294967295u);
  EXPECT_STREQ(text.Text(), "pixel type 0xA0000008 04294967295");
  EXPECT_TRUE(text.Fits());
  BoundedText<8> small;
  small.Append("Sorvan: ").Append(nullptr);
  EXPECT_STREQ(small.Text(), "Sorvan:");
  EXPECT_FALSE(small.Fits());
  BoundedText<16> shown;  // a value from outside stays on one line, and short
  EXPECT_STREQ(shown
                   .AppendShown("a\nb\x7f"
                                "cdef",
                                4)
                   .Text(),
               "a?b?...");
  constexpr BoundedText<4> kCut = BoundedText<4>().Append("abcd");
  static_assert(!kCut.Fits(), "a string made at compile time knows it was cut, so a static_assert can refuse it");
}

}  // namespace
}  // namespace sorvan::testing
