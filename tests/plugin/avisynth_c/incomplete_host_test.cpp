// A host lacking a function the filter needs (avs_bit_blt here): loading and registration
// succeed, and the script call gets a message naming the function instead of a crash later.
#include "tests/plugin/avisynth_c/avs_c_harness.h"

namespace sorvan::avs_c_test {
namespace {

constexpr const char* kMissing =
    "Sorvan: this AviSynth+ lacks the C interface function avs_bit_blt, which the filter needs";

using IncompleteHost = AvsCTest;

TEST_F(IncompleteHost, NamesTheMissingFunction) {
  Loaded host;
  ASSERT_TRUE(host.load.loaded) << host.load.error;
  EXPECT_EQ(host.load.text, kMissing);
  ASSERT_TRUE(host.env.FunctionExists("Sorvan"));
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(0xA0000008, 40, 24, 1);
  const Clip source = avs_c_host::MakeMemoryClip(vi, {std::vector<uint8_t>(40 * 24 * 3 / 2, 128)});
  EXPECT_EQ(SorvanError(host.env, source, {}), kMissing);
}

}  // namespace
}  // namespace sorvan::avs_c_test
