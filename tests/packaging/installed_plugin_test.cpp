// The plug-in where a wheel installed it (SORVAN_INSTALLED_PLUGIN, set by check_packages.py),
// loaded by a host of its own beside the build's library: the same frame from both.
#include <cstdlib>

#include "tests/plugin/vapoursynth/vapoursynth_harness.h"

namespace sorvan::vapoursynth_test {
namespace {

TEST_F(VapourSynthPluginTest, InstalledLibraryFiltersAsTheBuildDoes) {
  const char* installed = std::getenv("SORVAN_INSTALLED_PLUGIN");
  ASSERT_NE(installed, nullptr) << "SORVAN_INSTALLED_PLUGIN names the installed library";
  vshost::Host installedHost;
  ASSERT_NO_THROW(installedHost.LoadPlugin(installed));

  const Arguments arguments = {{"ry", 1}, {"rad", 3}};
  NodePtr source = Source(pfYUV420P10, 64, 48);
  MapPtr call = vshost::NewMap();
  vshost::SetNode(call.get(), "clip", source.get());
  for (const auto& [name, value] : arguments) vshost::SetInt(call.get(), name, value);
  MapPtr result = installedHost.Invoke("sorvan", "Sorvan", *call);
  ASSERT_EQ(vshost::ErrorOf(*result), nullptr) << vshost::ErrorOf(*result);
  NodePtr installedFilter = vshost::GetNode(*result, "clip");
  NodePtr buildFilter = Filter(source.get(), arguments);

  std::string error;
  FramePtr fromInstalled = installedHost.GetFrame(installedFilter.get(), 1, &error);
  ASSERT_TRUE(fromInstalled) << error;
  FramePtr fromBuild = Frame(buildFilter.get(), 1);
  FramePtr in = Frame(source.get(), 1);
  EXPECT_EQ(AllPlanes(fromInstalled.get()), AllPlanes(fromBuild.get()));
  EXPECT_NE(AllPlanes(fromInstalled.get()), AllPlanes(in.get())) << "the frame was filtered";
}

}  // namespace
}  // namespace sorvan::vapoursynth_test
