// A host of interface 6 (before frame properties, without avs_new_video_frame_p, entered through
// avisynth_c_plugin_init): the same output, as plainly new frames; 64-bit integers arrive cut
// to 32 bits by the host.
#include "core/version.h"
#include "tests/plugin/avisynth_c/avs_c_harness.h"

namespace sorvan::avs_c_test {
namespace {

using OldHost = AvsCTest;

TEST_F(OldHost, FiltersWithPlainNewFrames) {
  Loaded host(6);
  ASSERT_TRUE(host.load.loaded) << host.load.error;
  EXPECT_EQ(host.load.entry, "avisynth_c_plugin_init");
  EXPECT_EQ(host.load.text, "Sorvan " SORVAN_VERSION_STRING);
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(0x88050008, 40, 24, 2);  // YUVA420P10
  const VideoFormat format = PlanarFormat(Fields(ColourFamily::kYuv, 10, 1, 1, true, kPlanesYvu));
  const std::vector<std::vector<uint8_t>> frames = {TestFrame(vi, format, 1), TestFrame(vi, format, 2)};
  const Clip source = avs_c_host::MakeMemoryClip(vi, frames);
  CallResult r = host.env.Invoke("Sorvan", {Argument(source)}, {{"ry", true}});
  ASSERT_TRUE(r.clip) << r.error;
  EXPECT_EQ(r.clip.MtMode(), 1);
  for (int32_t n = 0; n < 2; ++n) {
    const Frame frame = r.clip.GetFrame(n);
    EXPECT_EQ(frame.Bytes(avs_c_host::FramePlanes(vi)),
              CoreReference(vi, format, ArgumentsOf({{"ry", true}}), frames[n]));
    int64_t value = 0;
    EXPECT_FALSE(frame.Property("test_frame", &value));
  }
  // 2^32 + 3 arrives as 3 from this host, so it is accepted as rad 3.
  CallResult cut = host.env.Invoke("Sorvan", {Argument(source)}, {{"rad", int64_t{4294967299}}});
  CallResult three = host.env.Invoke("Sorvan", {Argument(source)}, {{"rad", 3}});
  ASSERT_TRUE(cut.clip && three.clip) << cut.error << three.error;
  EXPECT_EQ(cut.clip.GetFrame(0).Bytes(avs_c_host::FramePlanes(vi)),
            three.clip.GetFrame(0).Bytes(avs_c_host::FramePlanes(vi)));
}

}  // namespace
}  // namespace sorvan::avs_c_test
