// What the C binding's tests share: an environment of our minimal host with the built plug-in
// loaded, a census check that every clip, clip value and frame was given back, and calls of
// Sorvan on test clips.
#pragma once

#include <gtest/gtest.h>

#include "tests/plugin/avisynth_c/avs_c_formats.h"
#include "tests/support/parameter_lookup.h"

namespace sorvan::avs_c_test {

using avs_c_host::Argument;
using avs_c_host::CallResult;
using avs_c_host::Clip;
using avs_c_host::Environment;
using avs_c_host::Frame;
using avs_c_host::NamedArgument;

// Every test ends with nothing of the host left alive: what the plug-in took, it gave back.
class AvsCTest : public ::testing::Test {
 protected:
  void TearDown() override {
    const avs_c_host::Census live = avs_c_host::Live();
    EXPECT_EQ(live.frames, 0) << "frames still referenced";
    EXPECT_EQ(live.clipHandles, 0) << "clip handles not released";
    EXPECT_EQ(live.clips, 0) << "clips still alive";
    EXPECT_EQ(live.clipValues, 0) << "clip values not released";
    EXPECT_EQ(live.nullFramesWithoutError, 0) << "a frame request failed without a message";
  }
};

// An environment with the plug-in loaded.
struct Loaded {
  explicit Loaded(int32_t interfaceVersion = 11) : env(interfaceVersion), load(env.LoadPlugin(SORVAN_PLUGIN_PATH)) {}
  Environment env;
  avs_c_host::LoadResult load;
};

inline std::string SorvanError(Environment& env, const Clip& source, const std::vector<NamedArgument>& named) {
  return env.Invoke("Sorvan", {Argument(source)}, named).error;
}

inline FilterArguments ArgumentsOf(const std::vector<NamedArgument>& named) {
  FilterArguments arguments = DefaultArguments();
  for (const NamedArgument& n : named) {
    Parameter p;
    if (testing::FindParameter(n.name.c_str(), &p)) {
      arguments[p] = static_cast<int32_t>(n.value.kind == Argument::kBool ? n.value.boolean : n.value.integer);
    }
  }
  return arguments;
}

}  // namespace sorvan::avs_c_test
