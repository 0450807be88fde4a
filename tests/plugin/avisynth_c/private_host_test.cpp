// The plug-in where no host functions are in the program's global scope: loaded into a process
// with no AviSynth+ at all, and served by a host library the program opened privately.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "core/version.h"
#include "plugin/avisynth_c/avisynth_c_interface.h"

namespace {

struct Library {
  explicit Library(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
  void* handle;
};

// Every symbol bound at load (RTLD_NOW): an undefined host function would fail here.
TEST(NoHost, PluginLoadsAndItsEntryRefusesWithoutCrashing) {
  Library plugin(SORVAN_PLUGIN_PATH);
  ASSERT_NE(plugin.handle, nullptr) << dlerror();
  for (const char* entry : {"avisynth_c_plugin_init2", "avisynth_c_plugin_init"}) {
    auto init = reinterpret_cast<AVS_PluginInitFunc>(dlsym(plugin.handle, entry));
    ASSERT_NE(init, nullptr) << entry;
    int notAnEnvironment = 0;
    EXPECT_STREQ(init(reinterpret_cast<AVS_ScriptEnvironment*>(&notAnEnvironment)),
                 "Sorvan: no AviSynth+ C interface found in the calling program");
    EXPECT_STREQ(init(nullptr), "Sorvan: no AviSynth+ C interface found in the calling program");
  }
}

TEST(PrivateHost, PluginFindsTheHostThatCalledIt) {
  Library host(SORVAN_AVS_C_HOST_PATH);
  ASSERT_NE(host.handle, nullptr) << dlerror();
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "avs_add_function"), nullptr) << "the host must not be in the global scope";
  using Smoke = int (*)(const char*, char*, size_t);
  auto smoke = reinterpret_cast<Smoke>(dlsym(host.handle, "sorvan_avs_c_host_smoke"));
  ASSERT_NE(smoke, nullptr);
  char message[256] = {};
  EXPECT_EQ(smoke(SORVAN_PLUGIN_PATH, message, sizeof message), 0) << message;
  EXPECT_STREQ(message, "Sorvan " SORVAN_VERSION_STRING);
}

}  // namespace
