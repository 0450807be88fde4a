// Every pixel type of AviSynth+ with the core's description of it as the host stores it, written
// out independently of the binding's decoding (YUV planes in the host's Y, V, U order), test
// frames for each, and the core's output on them as the reference for the plug-in's.
#pragma once

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "core/filter_plan.h"
#include "hosts/avisynth_c/avs_c_host.h"

namespace sorvan::avs_c_test {

struct PixelFormatCase {
  std::string name;  // the host's name
  uint32_t pixelType;
  VideoFormat format;  // planes in FramePlanes order
};

inline void PrintTo(const PixelFormatCase& c, std::ostream* os) { *os << c.name; }

inline PlanarFormatFields Fields(ColourFamily family, int32_t bits, int32_t ws, int32_t hs, bool alpha,
                                 const int8_t (&planes)[kColourChannels]) {
  PlanarFormatFields s{};
  s.family = family;
  s.sampleType = bits == 32 ? SampleType::kFloat : SampleType::kInteger;
  s.bitsPerSample = bits;
  s.widthShift = ws;
  s.heightShift = hs;
  s.alpha = alpha;
  for (int i = 0; i < kColourChannels; ++i) s.channelPlanes[i] = planes[i];
  return s;
}

inline std::vector<PixelFormatCase> AllPixelFormats() {
  std::vector<PixelFormatCase> cases;
  const struct {
    int32_t bits;
    uint32_t field;
    const char* suffix;
  } depths[] = {{8, 0, ""}, {10, 5, "P10"}, {12, 6, "P12"}, {14, 7, "P14"}, {16, 1, "P16"}, {32, 2, "PS"}};
  for (const auto& d : depths) {
    const uint32_t depth = d.field << 16;
    const std::string grey = "Y" + std::to_string(d.bits);
    cases.push_back(
        {grey, 0xE0000000u | depth, PlanarFormat(Fields(ColourFamily::kGray, d.bits, 0, 0, false, kPlanesYuv))});
    const struct {
      const char* name;
      const char* eightBit;
      uint32_t code;
      int32_t ws, hs;
    } subsamplings[] = {{"420", "YV12", 0x008, 1, 1}, {"422", "YV16", 0x308, 1, 0}, {"444", "YV24", 0x30B, 0, 0}};
    for (const auto& s : subsamplings) {
      const std::string yuv = d.bits == 8 ? s.eightBit : std::string("YUV") + s.name + d.suffix;
      const std::string yuva = std::string("YUVA") + s.name + d.suffix;
      cases.push_back({yuv, 0xA0000000u | depth | s.code,
                       PlanarFormat(Fields(ColourFamily::kYuv, d.bits, s.ws, s.hs, false, kPlanesYvu))});
      cases.push_back({yuva, 0x88000000u | depth | s.code,
                       PlanarFormat(Fields(ColourFamily::kYuv, d.bits, s.ws, s.hs, true, kPlanesYvu))});
    }
    const std::string rgbSuffix = d.bits == 8 ? "" : d.bits == 32 ? "S" : std::to_string(d.bits);
    cases.push_back({("RGBP" + rgbSuffix), 0x90000001u | depth,
                     PlanarFormat(Fields(ColourFamily::kRgb, d.bits, 0, 0, false, kPlanesGbr))});
    cases.push_back({("RGBAP" + rgbSuffix), 0x90000002u | depth,
                     PlanarFormat(Fields(ColourFamily::kRgb, d.bits, 0, 0, true, kPlanesGbr))});
  }
  cases.push_back({"I420", 0xA0000010u, PlanarFormat(Fields(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYuv))});
  cases.push_back({"YV411", 0xA0000309u, PlanarFormat(Fields(ColourFamily::kYuv, 8, 2, 0, false, kPlanesYvu))});
  cases.push_back({"YUY2", 0x60000004u, PackedFormat(PackedLayout::kYuyv)});
  cases.push_back({"RGB24", 0x50000001u, PackedFormat(PackedLayout::kBgr24)});
  cases.push_back({"RGB32", 0x50000002u, PackedFormat(PackedLayout::kBgra32)});
  cases.push_back({"RGB48", 0x50010001u, PackedFormat(PackedLayout::kBgr48)});
  cases.push_back({"RGB64", 0x50010002u, PackedFormat(PackedLayout::kBgra64)});
  return cases;
}

// Gradients with small noise and now and then a spike, at the format's depth; float samples in
// 0…1 (chroma around 0), so that both the averages and the limit merge have work.
inline std::vector<uint8_t> TestFrame(const AVS_VideoInfo& vi, const VideoFormat& format, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  const int32_t sampleBytes = BytesPerSample(format);
  const double top = format.sampleType == SampleType::kFloat ? 1.0 : double((1 << format.bitsPerSample) - 1);
  for (const avs_c_host::PlaneGeometry& p : avs_c_host::FramePlanes(vi)) {
    const int32_t samples = p.rowSize / sampleBytes;
    for (int32_t y = 0; y < p.height; ++y) {
      for (int32_t x = 0; x < samples; ++x) {
        double v = (60 + 2 * x + y + int(random() % 11) - 5) / 255.0;
        if (random() % 10 == 0) v += (int(random() % 81) - 40) / 255.0;
        v = v < 0 ? 0 : v > 1 ? 1 : v;
        if (format.sampleType == SampleType::kFloat) {
          const float f = static_cast<float>(v);
          bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&f), reinterpret_cast<const uint8_t*>(&f) + 4);
        } else if (sampleBytes == 2) {
          const uint16_t s = static_cast<uint16_t>(v * top + 0.5);
          bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&s), reinterpret_cast<const uint8_t*>(&s) + 2);
        } else {
          bytes.push_back(static_cast<uint8_t>(v * top + 0.5));
        }
      }
    }
  }
  return bytes;
}

// The core on plane bytes without padding (FramePlanes order): the expected output.
inline std::vector<uint8_t> CoreReference(const AVS_VideoInfo& vi, const VideoFormat& format,
                                          const FilterArguments& arguments, const std::vector<uint8_t>& input) {
  FilterPlan plan;
  if (plan.Init(arguments, format, vi.width, vi.height) != PlanStatus::kOk) return {};
  std::vector<uint8_t> output(input.size());
  SourceFrameView src{};
  FrameView dst{};
  size_t offset = 0;
  int32_t p = 0;
  for (const avs_c_host::PlaneGeometry& g : avs_c_host::FramePlanes(vi)) {
    const int32_t width = g.rowSize / (BytesPerSample(format) * format.planes[p].samplesPerPixel);
    src.planes[p] = {input.data() + offset, g.rowSize, width, g.height};
    dst.planes[p] = {output.data() + offset, g.rowSize, width, g.height};
    offset += static_cast<size_t>(g.rowSize) * static_cast<size_t>(g.height);
    ++p;
  }
  if (!plan.Process(dst, src, kMemoryCopyPlane)) return {};
  return output;
}

}  // namespace sorvan::avs_c_test
