// What the entry point tells the host: identity, the declared API version, and the one function
// with an argument string that parses back into the parameter table.
#include "core/version.h"
#include "tests/plugin/vapoursynth/vapoursynth_harness.h"

namespace sorvan::vapoursynth_test {
namespace {

TEST_F(VapourSynthPluginTest, ConfiguresItselfForEveryApi4Core) {
  const VSPlugin* plugin = host_.FindPlugin("sorvan");
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->identifier, "org.sorvan.sorvan");
  EXPECT_EQ(plugin->pluginNamespace, "sorvan");
  EXPECT_EQ(plugin->name, "Sorvan");
  EXPECT_EQ(plugin->apiVersion, 0x00040000) << "4.0, so that R55 to R65 load it too";
  EXPECT_EQ(plugin->flags, 0);
  EXPECT_EQ(plugin->pluginVersion, (SORVAN_VERSION_MAJOR << 16) | SORVAN_VERSION_MINOR)
      << "the project version, as the command's --version reports it";
}

TEST_F(VapourSynthPluginTest, RegistersSorvanWithTheTablesArguments) {
  const VSPlugin* plugin = host_.FindPlugin("sorvan");
  ASSERT_NE(plugin, nullptr);
  ASSERT_EQ(plugin->functions.size(), 1u);
  const vshost::RegisteredFunction& f = plugin->functions[0];
  EXPECT_EQ(f.name, "Sorvan");
  EXPECT_EQ(f.returnType, "clip:vnode;");
  const vshost::Signature& s = f.signature;
  EXPECT_FALSE(s.acceptsAny);
  ASSERT_EQ(s.arguments.size(), 1u + kParameterCount);
  EXPECT_EQ(s.arguments[0].name, "clip");
  EXPECT_EQ(s.arguments[0].type, ptVideoNode);
  EXPECT_FALSE(s.arguments[0].optional);
  for (int i = 0; i < kParameterCount; ++i) {
    const vshost::ArgumentDeclaration& a = s.arguments[static_cast<size_t>(i) + 1];
    EXPECT_EQ(a.name, kParameters[i].name);
    EXPECT_EQ(a.type, ptInt) << a.name << ": switches are integers here";
    EXPECT_FALSE(a.array) << a.name;
    EXPECT_TRUE(a.optional) << a.name;
  }
}

// A second library with the same identifier is refused by the host, as a real core refuses it.
TEST_F(VapourSynthPluginTest, LoadsOncePerHost) {
  EXPECT_THROW(host_.LoadPlugin(SORVAN_PLUGIN_PATH), vshost::HostError);
}

// An older core that reports only 4.0 loads it; one that reported less could not.
TEST(VapourSynthPluginLoad, LoadsInACoreOfApi40AndOfApi41) {
  for (int version : {VAPOURSYNTH_API_40, VAPOURSYNTH_API_41}) {
    vshost::Host host(version);
    EXPECT_NO_THROW(host.LoadPlugin(SORVAN_PLUGIN_PATH)) << std::hex << version;
  }
}

}  // namespace
}  // namespace sorvan::vapoursynth_test
