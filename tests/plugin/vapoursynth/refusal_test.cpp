// Every refusal at construction: the exact message, in the fixed order of the checks, and no
// reference left behind (the fixture counts the nodes, frames and maps still alive).
#include <limits>

#include "tests/plugin/vapoursynth/vapoursynth_harness.h"

namespace sorvan::vapoursynth_test {
namespace {

struct RefusalCase {
  Arguments arguments;
  std::string message;
};

TEST_F(VapourSynthPluginTest, RefusesBadArgumentsWithTheTablesMessages) {
  const RefusalCase cases[] = {
      {{{"rad", 0}}, "Sorvan:rad must be between 1 and 8"},
      {{{"rad", 9}, {"str", 0}}, "Sorvan:rad must be between 1 and 8"},
      {{{"str", 9}}, "Sorvan:str must be between 1 and 8"},
      {{{"ry", 0}, {"gu", 0}, {"bv", 0}}, "Sorvan: At least one of ry, gu and bv must be true"},
      {{{"ry", 1}, {"pry", 11}}, "Sorvan: limit pry must be between 0 and 10"},
      {{{"ry", 1}, {"nry", -1}}, "Sorvan: limit nry must be between 0 and 10"},
      {{{"ry", 1}, {"pry", 0}, {"nry", 0}}, "Sorvan: both limits pry and nry are specified as zero"},
      {{{"pgu", 0}, {"ngu", 0}}, "Sorvan: both limits pgu and ngu are specified as zero"},
      {{{"nbv", 11}}, "Sorvan: limit nbv must be between 0 and 10"},
      // A switched-off channel's limits are not checked.
      {{{"gu", 0}, {"pgu", 99}, {"nbv", 11}}, "Sorvan: limit nbv must be between 0 and 10"},
      // Switches are 0 or 1 only; they are read before the ranges are checked.
      {{{"rad", 0}, {"ry", 2}}, "Sorvan: ry must be 0 or 1 (false or true)"},
      {{{"gu", -1}}, "Sorvan: gu must be 0 or 1 (false or true)"},
      {{{"force", 1LL << 32}}, "Sorvan: force must be 0 or 1 (false or true)"},
      // Beyond the int range the value saturates: never read as its truncated low bits.
      {{{"rad", (1LL << 32) + 3}}, "Sorvan:rad must be between 1 and 8"},
      {{{"str", std::numeric_limits<int64_t>::min()}}, "Sorvan:str must be between 1 and 8"},
  };
  NodePtr source = Source(pfYUV420P8, 16, 12);
  for (const RefusalCase& c : cases) {
    EXPECT_EQ(Refusal(Call(source.get(), c.arguments)), c.message);
  }
}

// Gray has channel 0 alone: ry must be on, and then gu and bv are ignored but their limits are
// still checked when they are on, so a script's error does not depend on the clip.
TEST_F(VapourSynthPluginTest, GrayClipNeedsChannelZero) {
  NodePtr gray = Source(pfGray8, 16, 12);
  EXPECT_EQ(Refusal(Call(gray.get(), {})), "Sorvan: a clip without colour planes has only channel 0: set ry=true");
  EXPECT_EQ(Refusal(Call(gray.get(), {{"ry", 0}, {"gu", 1}, {"bv", 1}})),
            "Sorvan: a clip without colour planes has only channel 0: set ry=true");
  EXPECT_EQ(Refusal(Call(gray.get(), {{"ry", 1}, {"pgu", 0}, {"ngu", 0}})),
            "Sorvan: both limits pgu and ngu are specified as zero");
  EXPECT_EQ(Refusal(Call(gray.get(), {{"rad", 0}, {"ry", 0}})), "Sorvan:rad must be between 1 and 8");
  EXPECT_TRUE(Filter(gray.get(), {{"ry", 1}}));
}

// Formats the core does not compute on are named as the host names them; the format is checked
// before the arguments.
TEST_F(VapourSynthPluginTest, RefusesFormatsItCannotFilterByName) {
  const std::string tail = " is not supported: use 8 to 16-bit integer or 32-bit float samples";
  const std::pair<uint32_t, std::string> formats[] = {
      {pfGrayH, "GrayH"},
      {pfYUV420PH, "YUV420PH"},
      {pfRGBH, "RGBH"},
      {pfGray32, "Gray32"},
      {VS_MAKE_VIDEO_ID(cfYUV, stInteger, 20, 1, 1), "YUV420P20"},
  };
  for (const auto& [id, name] : formats) {
    NodePtr source = Source(id, 16, 12);
    EXPECT_EQ(Refusal(Call(source.get(), {{"rad", 0}})), "Sorvan: " + name + tail);
  }
}

TEST_F(VapourSynthPluginTest, RefusesVariableFormatAndSize) {
  VSVideoInfo variableFormat = ClipInfo(pfYUV420P8, 16, 12);
  variableFormat.format = {};
  NodePtr a = host_.RawSourceClip(variableFormat, [](int) { return vshost::WritableFramePtr(); });
  EXPECT_EQ(Refusal(Call(a.get(), {})), "Sorvan: clips of variable format are not supported: give the clip one format");

  VSVideoInfo variableSize = ClipInfo(pfYUV422P10, 0, 0);
  NodePtr b = host_.RawSourceClip(variableSize, [](int) { return vshost::WritableFramePtr(); });
  EXPECT_EQ(Refusal(Call(b.get(), {})),
            "Sorvan: YUV422P10 clips of variable size are not supported: give the clip one frame size");
}

// What the host's own argument checks refuse never reaches the plug-in.
TEST_F(VapourSynthPluginTest, HostRefusesArgumentsOfTheWrongShape) {
  NodePtr source = Source(pfYUV444P8, 16, 12);
  EXPECT_EQ(Refusal(Call(nullptr, {{"rad", 3}})), "Sorvan: argument clip is required");

  MapPtr floatRadius = vshost::NewMap();
  vshost::SetNode(floatRadius.get(), "clip", source.get());
  vshost::SetFloat(floatRadius.get(), "rad", 3.0);
  EXPECT_EQ(Refusal(host_.Invoke("sorvan", "Sorvan", *floatRadius)), "Sorvan: argument rad is not of the correct type");

  MapPtr array = vshost::NewMap();
  vshost::SetNode(array.get(), "clip", source.get());
  vshost::SetInt(array.get(), "rad", 3);
  vshost::SetInt(array.get(), "rad", 4, true);
  EXPECT_EQ(Refusal(host_.Invoke("sorvan", "Sorvan", *array)),
            "Sorvan: argument rad is not an array, but more than one value was given");

  MapPtr unknown = vshost::NewMap();
  vshost::SetNode(unknown.get(), "clip", source.get());
  vshost::SetInt(unknown.get(), "radius", 3);
  EXPECT_EQ(Refusal(host_.Invoke("sorvan", "Sorvan", *unknown)),
            "Function 'Sorvan' does not take argument(s) named radius");
}

// Every refusal above left no filter instance behind: the only instances ever freed are the
// ones that were made.
TEST_F(VapourSynthPluginTest, FreesEachFilterOnceWhenItsLastReferenceGoes) {
  const int64_t freedBefore = vshost::CurrentLiveCounts().filterInstancesFreed;
  NodePtr source = Source(pfYUV420P8, 16, 12);
  Refusal(Call(source.get(), {{"rad", 0}}));
  EXPECT_EQ(vshost::CurrentLiveCounts().filterInstancesFreed, freedBefore);
  NodePtr filter = Filter(source.get(), {});
  NodePtr second = vshost::AddRef(filter.get());
  filter.reset();
  EXPECT_EQ(vshost::CurrentLiveCounts().filterInstancesFreed, freedBefore);
  second.reset();
  EXPECT_EQ(vshost::CurrentLiveCounts().filterInstancesFreed, freedBefore + 1);
}

}  // namespace
}  // namespace sorvan::vapoursynth_test
