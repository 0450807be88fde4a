// The host's own rules, where the plug-in's tests lean on them: argument strings parse as the
// interface defines them, shared planes are copied before a write, and a filter that breaks the
// frame protocol is caught rather than trusted.
#include <gtest/gtest.h>

#include "hosts/vapoursynth/vapoursynth_host.h"

namespace sorvan::vshost {
namespace {

TEST(ArgumentStrings, ParseAsTheInterfaceDefinesThem) {
  const ParsedSignature good = ParseSignature("clip:vnode;planes:int[]:opt:empty;;scale:float:opt;any");
  ASSERT_TRUE(good.signature) << good.error;
  ASSERT_EQ(good.signature->arguments.size(), 3u);
  EXPECT_TRUE(good.signature->arguments[1].array);
  EXPECT_TRUE(good.signature->arguments[1].allowEmpty);
  EXPECT_EQ(good.signature->arguments[2].type, ptFloat);
  EXPECT_TRUE(good.signature->acceptsAny);

  for (const char* bad : {"clip:clip;", "a:int:opt:opt;", "1a:int;", "a:int:empty;", "a :int;", "a:integer;",
                          "any;b:int;", "a:int;a:float;", "a;"}) {
    EXPECT_FALSE(ParseSignature(bad).signature) << bad;
  }
}

TEST(Frames, ASharedPlaneIsCopiedBeforeItIsWritten) {
  const VSVideoFormat format = VideoFormatFromId(pfYUV420P8);
  WritableFramePtr a = NewFrame(format, 16, 8, nullptr, 7);
  WritableFramePtr b(HostApiTable()->copyFrame(a.get(), nullptr));
  ASSERT_EQ(a->planes[1], b->planes[1]);
  uint8_t* written = WritablePlane(b.get(), 1);
  written[0] = 99;
  EXPECT_NE(a->planes[1], b->planes[1]);
  EXPECT_EQ(a->planes[1]->data[0], 7);
  EXPECT_EQ(a->planes[0], b->planes[0]) << "only the written plane is copied";
}

// A filter that returns neither a frame nor an error nor a request would hang a real core's
// request; the host reports it as a breach and fails the request.
TEST(FrameProtocol, AFilterThatAnswersNothingIsABreach) {
  Host host;
  host.ResetSlotCounts();
  const VSVideoInfo vi = {VideoFormatFromId(pfGray8), 1, 1, 8, 8, 1};
  std::string error;
  NodePtr node(host.CreateFilter(
      "Silent", &vi,
      [](int, int, void*, void**, VSFrameContext*, VSCore*, const VSAPI*) -> const VSFrame* { return nullptr; },
      nullptr, fmParallel, nullptr, 0, nullptr, &error));
  ASSERT_TRUE(node) << error;
  EXPECT_FALSE(host.GetFrame(node.get(), 0, &error));
  ASSERT_EQ(host.Violations().size(), 1u);
  EXPECT_EQ(host.Violations()[0], "Silent returned no frame, no error and no request");
  host.ResetSlotCounts();
}

}  // namespace
}  // namespace sorvan::vshost
