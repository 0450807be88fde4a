// One C function for a program that opens this host library privately (dlopen with
// RTLD_LOCAL, as programs embedding AviSynth+ do): it loads a plug-in, filters one YV12 frame
// with Sorvan and reports what happened, so that such a program needs none of the C++ API.
#include <cstdio>

#include "hosts/avisynth_c/host_objects.h"

extern "C" int sorvan_avs_c_host_smoke(const char* pluginPath, char* message, size_t size) {
  using namespace sorvan::avs_c_host;
  std::string outcome;
  int status = 1;
  {
    Environment env;
    const LoadResult load = env.LoadPlugin(pluginPath);
    if (!load.loaded) {
      outcome = "load: " + load.error;
    } else {
      const AVS_VideoInfo vi = MakeVideoInfo(static_cast<int32_t>(0xA0000008u), 40, 24, 1);
      std::vector<uint8_t> frame(40 * 24 * 3 / 2);
      for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(100 + (i * 7) % 13);
      const Clip source = MakeMemoryClip(vi, {frame});
      CallResult r = env.Invoke("Sorvan", {Argument(source)});
      if (!r.clip) {
        outcome = "invoke: " + r.error;
      } else {
        std::string error;
        const Frame out = r.clip.GetFrame(0, &error);
        outcome = out ? load.text : "frame: " + error;
        status = out ? 0 : 1;
      }
    }
  }
  snprintf(message, size, "%s", outcome.c_str());
  return status;
}
