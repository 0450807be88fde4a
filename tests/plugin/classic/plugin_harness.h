// What the plug-in tests share: a frame server with the built plug-in loaded, test frames, and
// the core run directly on packed frames as the reference for the plug-in's output.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "core/filter_plan.h"
#include "hosts/frameserver/frame_server.h"
#include "hosts/frameserver/memory_clip.h"
#include "plugin/classic/classic_formats.h"
#include "tests/support/parameter_lookup.h"

namespace sorvan::plugin_test {

using frameserver::NamedArgument;

inline constexpr int kFiveTypes[] = {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420};

inline std::string PixelTypeName(int pixelType) {
  switch (pixelType) {
    case CS_BGR24: return "RGB24";
    case CS_BGR32: return "RGB32";
    case CS_YUY2: return "YUY2";
    case CS_YV12: return "YV12";
    case CS_I420: return "I420";
    default: return "other";
  }
}

// Smooth gradients with small noise, and now and then a large spike: content on which both the
// averages and the limit merge have something to do.
inline std::vector<uint8_t> TestFrame(const VideoInfo& vi, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> packed(frameserver::PackedFrameSize(vi));
  size_t i = 0;
  for (const frameserver::PackedPlane& p : frameserver::PackedPlanes(vi)) {
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.rowSize; ++x) {
        int value = 60 + 2 * x + y + static_cast<int>(random() % 11) - 5;
        if (random() % 10 == 0) value += static_cast<int>(random() % 81) - 40;
        packed[i++] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
  return packed;
}

inline std::vector<std::vector<uint8_t>> TestFrames(const VideoInfo& vi, int count, unsigned seed) {
  std::vector<std::vector<uint8_t>> frames;
  for (int n = 0; n < count; ++n) frames.push_back(TestFrame(vi, seed + static_cast<unsigned>(n)));
  return frames;
}

// Sets the value that a script argument of this name governs.
inline void ApplyArgument(FilterArguments& arguments, const NamedArgument& a) {
  Parameter p{};
  if (!testing::FindParameter(a.name.c_str(), &p)) return;
  arguments[p] = kParameters[p].kind == ParameterKind::kBoolean ? (a.value.AsBool() ? 1 : 0) : a.value.AsInt();
}

// The core applied to a packed frame: planes at their packed places, pitch = row size.
inline std::vector<uint8_t> CoreReference(const VideoInfo& vi, const std::vector<uint8_t>& packed,
                                          const FilterArguments& arguments) {
  VideoFormat format{};
  FilterPlan plan;
  if (!ClassicFormat(vi.pixel_type, &format) || plan.Init(arguments, format, vi.width, vi.height) != PlanStatus::kOk) {
    return {};
  }
  std::vector<uint8_t> out(packed.size());
  SourceFrameView src{};
  FrameView dst{};
  size_t offset = 0;
  const int32_t pixelBytes = format.planes[0].samplesPerPixel;
  for (const frameserver::PackedPlane& p : frameserver::PackedPlanes(vi)) {
    const int channel = p.plane == PLANAR_U ? 1 : p.plane == PLANAR_V ? 2 : 0;
    const int plane = format.channels[channel].plane;
    const int32_t width = plane == 0 ? p.rowSize / pixelBytes : p.rowSize;
    src.planes[plane] = {packed.data() + offset, p.rowSize, width, p.height};
    dst.planes[plane] = {out.data() + offset, p.rowSize, width, p.height};
    offset += static_cast<size_t>(p.rowSize) * static_cast<size_t>(p.height);
  }
  if (!plan.Process(dst, src, kMemoryCopyPlane)) return {};
  return out;
}

class PluginHost {
 public:
  PluginHost() { pluginText_ = server.LoadPlugin(SORVAN_PLUGIN_PATH); }
  const std::string& PluginText() const { return pluginText_; }

  // The message of the error a call of Sorvan raises, or "(accepted)".
  std::string SorvanError(const PClip& clip, const std::vector<NamedArgument>& named) {
    try {
      server.InvokeClip("Sorvan", {clip}, named);
    } catch (const frameserver::ScriptError& e) {
      return e.what();
    }
    return "(accepted)";
  }

  frameserver::FrameServer server;

 private:
  std::string pluginText_;
};

}  // namespace sorvan::plugin_test
