// What the VapourSynth binding's tests share: our host with the built plug-in loaded, source
// clips of any format filled with test content, calls of core.sorvan.Sorvan, and the core's
// filter plan run directly on the same frames as the reference.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/filter_plan.h"
#include "hosts/vapoursynth/vapoursynth_host.h"
#include "tests/support/parameter_lookup.h"

namespace sorvan::vapoursynth_test {

using vshost::FramePtr;
using vshost::MapPtr;
using vshost::NodePtr;

inline VSVideoInfo ClipInfo(uint32_t formatId, int width, int height, int frames = 4) {
  return vshost::ConstantClipInfo(formatId, width, height, frames);
}

// Gradients with noise and now and then a spike, over the format's whole range: integers of any
// depth, float luma and RGB in 0…1, float chroma in −0.5…0.5.
inline void FillFrame(VSFrame* frame, unsigned seed) {
  std::mt19937 random(seed);
  const VSVideoFormat& f = frame->format;
  for (int p = 0; p < f.numPlanes; ++p) {
    uint8_t* row = frame->planes[p]->data;
    const bool chroma = f.colorFamily == cfYUV && p > 0;
    for (int y = 0; y < frame->PlaneHeight(p); ++y, row += frame->strides[p]) {
      for (int x = 0; x < frame->PlaneWidth(p); ++x) {
        double level = (60 + 2 * x + y + static_cast<int>(random() % 11) - 5) / 255.0;
        if (random() % 10 == 0) level += (static_cast<int>(random() % 81) - 40) / 255.0;
        level = level < 0 ? 0 : level > 1 ? 1 : level;
        if (f.sampleType == stFloat) {
          const float v = static_cast<float>(chroma ? level - 0.5 : level);
          std::memcpy(row + 4 * x, &v, 4);
        } else if (f.bytesPerSample == 1) {
          row[x] = static_cast<uint8_t>(level * 255 + 0.5);
        } else {
          const uint16_t v = static_cast<uint16_t>(level * ((1 << f.bitsPerSample) - 1) + 0.5);
          std::memcpy(row + 2 * x, &v, 2);
        }
      }
    }
  }
}

// The core's description of a host format, written out here rather than taken from the binding,
// so that a wrong mapping shows: RGB planes are R, G, B, so blue (channel 0) is plane 2.
inline VideoFormat CoreFormat(const VSVideoFormat& f) {
  PlanarFormatFields fields{};
  fields.family = f.colorFamily == cfGray  ? ColourFamily::kGray
                  : f.colorFamily == cfRGB ? ColourFamily::kRgb
                                           : ColourFamily::kYuv;
  fields.sampleType = f.sampleType == stFloat ? SampleType::kFloat : SampleType::kInteger;
  fields.bitsPerSample = f.bitsPerSample;
  fields.widthShift = f.subSamplingW;
  fields.heightShift = f.subSamplingH;
  const int8_t rgb[3] = {2, 1, 0};
  const int8_t yuv[3] = {0, 1, 2};
  std::memcpy(fields.channelPlanes, f.colorFamily == cfRGB ? rgb : yuv, 3);
  return PlanarFormat(fields);
}

// Plane p's image bytes, row after row, without the stride's padding.
inline std::vector<uint8_t> PlaneBytes(const VSFrame* frame, int p) {
  std::vector<uint8_t> bytes;
  const size_t row = static_cast<size_t>(frame->PlaneWidth(p)) * frame->format.bytesPerSample;
  const uint8_t* data = frame->planes[p]->data;
  for (int y = 0; y < frame->PlaneHeight(p); ++y)
    bytes.insert(bytes.end(), data + y * frame->strides[p], data + y * frame->strides[p] + row);
  return bytes;
}

// The plan applied straight to a source frame: what the plug-in must produce, plane by plane.
inline std::vector<std::vector<uint8_t>> CoreReference(const VSFrame* source, const FilterArguments& arguments) {
  FilterPlan plan;
  EXPECT_EQ(plan.Init(arguments, CoreFormat(source->format), source->width, source->height), PlanStatus::kOk);
  vshost::WritableFramePtr out = vshost::NewFrame(source->format, source->width, source->height, nullptr, 0x55);
  SourceFrameView src{};
  FrameView dst{};
  for (int p = 0; p < source->format.numPlanes; ++p) {
    src.planes[p] = {source->planes[p]->data, static_cast<int32_t>(source->strides[p]), source->PlaneWidth(p),
                     source->PlaneHeight(p)};
    dst.planes[p] = {out->planes[p]->data, static_cast<int32_t>(out->strides[p]), out->PlaneWidth(p),
                     out->PlaneHeight(p)};
  }
  EXPECT_TRUE(plan.Process(dst, src, kMemoryCopyPlane));
  std::vector<std::vector<uint8_t>> planes;
  for (int p = 0; p < source->format.numPlanes; ++p) planes.push_back(PlaneBytes(out.get(), p));
  return planes;
}

inline std::vector<std::vector<uint8_t>> AllPlanes(const VSFrame* frame) {
  std::vector<std::vector<uint8_t>> planes;
  for (int p = 0; p < frame->format.numPlanes; ++p) planes.push_back(PlaneBytes(frame, p));
  return planes;
}

// Named integer arguments of a call, in the order given.
using Arguments = std::vector<std::pair<std::string, int64_t>>;

inline FilterArguments EffectiveArguments(const Arguments& given) {
  FilterArguments a = DefaultArguments();
  for (const auto& [name, value] : given) {
    Parameter p;
    if (testing::FindParameter(name.c_str(), &p)) a[p] = static_cast<int32_t>(value);
  }
  return a;
}

// The built library, or the one a package installed where SORVAN_INSTALLED_PLUGIN says (the
// package checks run these tests on it).
inline const char* PluginUnderTest() {
  const char* installed = std::getenv("SORVAN_INSTALLED_PLUGIN");
  return installed != nullptr ? installed : SORVAN_PLUGIN_PATH;
}

// A host with the plug-in loaded; every test checks that nothing the plug-in touched is left
// alive and that it broke no rule of the interface.
class VapourSynthPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.ResetSlotCounts();
    baseline_ = vshost::CurrentLiveCounts();
    host_.LoadPlugin(PluginUnderTest());
  }

  void TearDown() override {
    const vshost::LiveCounts now = vshost::CurrentLiveCounts();
    EXPECT_EQ(now.frames, baseline_.frames) << "frames left alive";
    EXPECT_EQ(now.nodes, baseline_.nodes) << "nodes left alive";
    EXPECT_EQ(now.maps, baseline_.maps) << "maps left alive";
    EXPECT_EQ(host_.Violations(), std::vector<std::string>{});
  }

  NodePtr Source(uint32_t formatId, int width, int height, int frames = 4, unsigned seed = 1) {
    return host_.SourceClip(ClipInfo(formatId, width, height, frames),
                            [seed](int n, VSFrame* f) { FillFrame(f, seed + static_cast<unsigned>(n)); });
  }

  // core.sorvan.Sorvan(clip, **arguments): the result map.
  MapPtr Call(VSNode* clip, const Arguments& arguments) {
    MapPtr in = vshost::NewMap();
    if (clip != nullptr) vshost::SetNode(in.get(), "clip", clip);
    for (const auto& [name, value] : arguments) vshost::SetInt(in.get(), name, value);
    return host_.Invoke("sorvan", "Sorvan", *in);
  }

  // The filter node, failing the test when the call is refused.
  NodePtr Filter(VSNode* clip, const Arguments& arguments) {
    MapPtr out = Call(clip, arguments);
    const char* error = vshost::ErrorOf(*out);
    EXPECT_EQ(error, nullptr) << error;
    return vshost::GetNode(*out, "clip");
  }

  std::string Refusal(const MapPtr& out) {
    const char* error = vshost::ErrorOf(*out);
    EXPECT_EQ(vshost::GetNode(*out, "clip"), nullptr);
    return error != nullptr ? error : "(accepted)";
  }

  FramePtr Frame(VSNode* node, int n) {
    std::string error;
    FramePtr frame = host_.GetFrame(node, n, &error);
    EXPECT_TRUE(frame) << error;
    return frame;
  }

  vshost::Host host_;
  vshost::LiveCounts baseline_{};
};

}  // namespace sorvan::vapoursynth_test
