// Every colour family, subsampling and depth through the plug-in against the core's plan on the
// same frames; frame properties and unsmoothed planes pass through untouched.
#include "tests/plugin/vapoursynth/vapoursynth_harness.h"

namespace sorvan::vapoursynth_test {
namespace {

constexpr uint32_t kFormats[] = {
    pfGray8,    pfGray10,   pfGray16,   pfGrayS,     pfYUV420P8,  pfYUV422P8,  pfYUV444P8,  pfYUV410P8,
    pfYUV411P8, pfYUV440P8, pfYUV420P9, pfYUV422P10, pfYUV420P12, pfYUV420P14, pfYUV444P16, pfYUV420PS,
    pfYUV444PS, pfRGB24,    pfRGB30,    pfRGB42,     pfRGB48,     pfRGBS,
};

TEST_F(VapourSynthPluginTest, EveryFormatEqualsTheCore) {
  const Arguments calls[] = {
      {{"ry", 1}},
      {{"rad", 2}, {"str", 1}, {"ry", 1}, {"pry", 10}, {"nry", 10}, {"pbv", 0}},
      {{"rad", 3}, {"ry", 1}, {"force", 1}, {"pgu", 6}},
  };
  for (uint32_t id : kFormats) {
    // 36 × 28: divisible by every subsampling up to 4:1:0, large enough for interior rows.
    NodePtr source = Source(id, 36, 28, 3, id & 0xff);
    for (const Arguments& arguments : calls) {
      NodePtr filter = Filter(source.get(), arguments);
      ASSERT_TRUE(filter);
      EXPECT_EQ(std::memcmp(&filter->vi, &source->vi, sizeof(VSVideoInfo)), 0) << "the clip's info is kept";
      for (int n : {0, 2}) {
        FramePtr in = Frame(source.get(), n);
        FramePtr out = Frame(filter.get(), n);
        ASSERT_TRUE(in && out);
        EXPECT_EQ(AllPlanes(out.get()), CoreReference(in.get(), EffectiveArguments(arguments)))
            << vshost::VideoFormatName(source->vi.format) << " frame " << n << " call " << arguments.size();
      }
    }
  }
}

// Channel 0 of RGB is blue, which this host keeps in plane 2: smoothing only channel 0 must
// leave planes R and G as they were.
TEST_F(VapourSynthPluginTest, RgbChannelsAreNumberedByColour) {
  NodePtr source = Source(pfRGB24, 32, 24);
  NodePtr blueOnly = Filter(source.get(), {{"ry", 1}, {"gu", 0}, {"bv", 0}, {"pry", 10}, {"nry", 10}});
  FramePtr in = Frame(source.get(), 1);
  FramePtr out = Frame(blueOnly.get(), 1);
  EXPECT_EQ(PlaneBytes(out.get(), 0), PlaneBytes(in.get(), 0)) << "red untouched";
  EXPECT_EQ(PlaneBytes(out.get(), 1), PlaneBytes(in.get(), 1)) << "green untouched";
  EXPECT_NE(PlaneBytes(out.get(), 2), PlaneBytes(in.get(), 2)) << "blue smoothed";
}

// Planes nothing is smoothed in are the source's own memory, not copies; smoothed ones are new.
TEST_F(VapourSynthPluginTest, SharesUnsmoothedPlanesWithTheSource) {
  NodePtr source = Source(pfYUV420P10, 32, 24);
  FramePtr in = Frame(source.get(), 0);
  // A clip that hands out this one frame, so that plane identity can be compared.
  FramePtr frame = vshost::AddRef(in.get());
  NodePtr fixed = host_.RawSourceClip(source->vi, [&](int) {
    return vshost::WritableFramePtr(const_cast<VSFrame*>(vshost::AddRef(frame.get()).release()));
  });
  NodePtr filter = Filter(fixed.get(), {{"ry", 1}, {"gu", 0}, {"bv", 0}});
  FramePtr out = Frame(filter.get(), 0);
  EXPECT_NE(out->planes[0], frame->planes[0]) << "the smoothed plane is the filter's";
  EXPECT_EQ(out->planes[1], frame->planes[1]) << "U is shared, not copied";
  EXPECT_EQ(out->planes[2], frame->planes[2]) << "V is shared, not copied";
}

// Every property of the source frame reaches the output frame unchanged.
TEST_F(VapourSynthPluginTest, PassesEveryFramePropertyThrough) {
  NodePtr source = host_.SourceClip(ClipInfo(pfYUV420P8, 32, 24), [](int n, VSFrame* f) {
    FillFrame(f, 7);
    vshost::SetInt(&f->properties, "_Matrix", 1);
    vshost::SetInt(&f->properties, "_ColorRange", 1);
    vshost::SetInt(&f->properties, "_DurationNum", 1);
    vshost::SetInt(&f->properties, "_DurationDen", 25);
    vshost::SetFloat(&f->properties, "_AbsoluteTime", n / 25.0);
    vshost::SetData(&f->properties, "_PictType", n == 0 ? "I" : "P");
    vshost::SetInt(&f->properties, "user_list", 4);
    vshost::SetInt(&f->properties, "user_list", 5, true);
  });
  NodePtr filter = Filter(source.get(), {{"ry", 1}});
  for (int n : {0, 3}) {
    FramePtr in = Frame(source.get(), n);
    FramePtr out = Frame(filter.get(), n);
    ASSERT_EQ(out->properties.entries.size(), in->properties.entries.size());
    for (size_t i = 0; i < in->properties.entries.size(); ++i) {
      const VSMapEntry& a = in->properties.entries[i];
      const VSMapEntry* b = out->properties.Find(a.key);
      ASSERT_NE(b, nullptr) << a.key;
      EXPECT_EQ(b->type, a.type) << a.key;
      ASSERT_EQ(b->values.size(), a.values.size()) << a.key;
      for (size_t k = 0; k < a.values.size(); ++k) {
        if (a.type == ptInt) {
          EXPECT_EQ(std::get<int64_t>(b->values[k]), std::get<int64_t>(a.values[k])) << a.key;
        } else if (a.type == ptFloat) {
          EXPECT_EQ(std::get<double>(b->values[k]), std::get<double>(a.values[k])) << a.key;
        } else if (a.type == ptData) {
          EXPECT_EQ(std::get<VSMapData>(b->values[k]).bytes, std::get<VSMapData>(a.values[k]).bytes) << a.key;
        }
      }
    }
  }
}

}  // namespace
}  // namespace sorvan::vapoursynth_test
