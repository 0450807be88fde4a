// The plug-in's frames through our three hosts, made by one build and checked by another: the
// native build writes them (`sorvan_plugin_frames write FILE`); the ARM64 build, under emulation,
// filters the same frames and compares (`sorvan_plugin_frames check FILE`).
//
// Integer formats go through each build's best path and must agree byte for byte. Float fast
// paths may differ from the reference by 2^-20 by design, so float cases run at the reference
// level in both builds (SORVAN_MAX_ISA=scalar) and must agree bit for bit as well; each
// architecture's float paths are held to its reference by its own differential tests.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "hosts/avisynth_c/avs_c_host.h"
#include "hosts/frameserver/frame_server.h"
#include "hosts/frameserver/memory_clip.h"
#include "hosts/vapoursynth/vapoursynth_host.h"
#include "tests/support/parameter_lookup.h"

namespace {

using namespace sorvan;

enum class Host { kClassic, kVapourSynth, kAvisynthC };

struct Setting {
  const char* name;
  int32_t value;
};

struct Case {
  const char* name;
  Host host;
  int64_t format;  // 2.5 pixel type, VapourSynth format ID or AviSynth+ pixel type
  int32_t bits;    // 8 … 16, or 32 for float
  std::vector<Setting> settings;
};

// Odd chroma widths and heights, and room for the widest window inside.
constexpr int32_t kWidth = 70;
constexpr int32_t kHeight = 46;

std::vector<Case> Cases() {
  const uint32_t yuv420p10 = 0xA0000000u | 5u << 16 | 0x008u, yuv444ps = 0xA0000000u | 2u << 16 | 0x30Bu;
  const uint32_t rgbp16 = 0x90000001u | 1u << 16, rgb64 = 0x50010002u;
  return {
      {"2.5 YV12 defaults", Host::kClassic, CS_YV12, 8, {}},
      {"2.5 YUY2 ry force rad 3", Host::kClassic, CS_YUY2, 8, {{"ry", 1}, {"force", 1}, {"rad", 3}}},
      {"2.5 RGB32 all channels", Host::kClassic, CS_BGR32, 8, {{"ry", 1}, {"pgu", 4}}},
      {"2.5 RGB24 rad 8 str 1", Host::kClassic, CS_BGR24, 8, {{"rad", 8}, {"str", 1}}},
      {"VS Gray8 ry", Host::kVapourSynth, pfGray8, 8, {{"ry", 1}}},
      {"VS YUV420P10 defaults", Host::kVapourSynth, pfYUV420P10, 10, {}},
      {"VS YUV422P12 force rad 8",
       Host::kVapourSynth,
       VS_MAKE_VIDEO_ID(cfYUV, stInteger, 12, 1, 0),
       12,
       {{"force", 1}, {"rad", 8}}},
      {"VS YUV444P16 ry", Host::kVapourSynth, pfYUV444P16, 16, {{"ry", 1}, {"nry", 10}}},
      {"VS RGBS all channels", Host::kVapourSynth, pfRGBS, 32, {{"ry", 1}}},
      {"VS GrayS force", Host::kVapourSynth, pfGrayS, 32, {{"ry", 1}, {"force", 1}, {"rad", 2}}},
      {"C YV12 defaults", Host::kAvisynthC, 0xA0000008u, 8, {}},
      {"C YUV420P10 rad 2 str 8", Host::kAvisynthC, yuv420p10, 10, {{"rad", 2}, {"str", 8}}},
      {"C YUV444PS defaults", Host::kAvisynthC, yuv444ps, 32, {}},
      {"C RGBP16 all channels", Host::kAvisynthC, rgbp16, 16, {{"ry", 1}}},
      {"C RGB64 force", Host::kAvisynthC, rgb64, 16, {{"ry", 1}, {"force", 1}}},
      {"C YUY2 defaults", Host::kAvisynthC, avs::kCsYuy2, 8, {}},
  };
}

// Gradients with noise and now and then a spike, from integer arithmetic alone, so that every
// build makes the very same bytes: rows of `rowBytes` bytes, planes one after another.
struct PlaneShape {
  int32_t rowBytes;
  int32_t height;
};

std::vector<uint8_t> SourceBytes(const std::vector<PlaneShape>& planes, int32_t bits) {
  const int32_t sampleBytes = bits == 32 ? 4 : bits > 8 ? 2 : 1;
  uint32_t state = 12345;
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  std::vector<uint8_t> bytes;
  for (const PlaneShape& p : planes) {
    for (int32_t y = 0; y < p.height; ++y) {
      for (int32_t x = 0; x < p.rowBytes / sampleBytes; ++x) {
        int32_t level = 60 + 2 * (x % 80) + y + static_cast<int32_t>(next() % 11) - 5;
        if (next() % 10 == 0) level += static_cast<int32_t>(next() % 81) - 40;
        level = level < 0 ? 0 : level > 255 ? 255 : level;
        uint8_t sample[4];
        if (bits == 32) {
          const float v = static_cast<float>(level) / 255.0f;
          std::memcpy(sample, &v, 4);
        } else if (bits > 8) {
          const uint16_t v = static_cast<uint16_t>(level << (bits - 8) | next() % (1u << (bits - 8)));
          std::memcpy(sample, &v, 2);
        } else {
          sample[0] = static_cast<uint8_t>(level);
        }
        bytes.insert(bytes.end(), sample, sample + sampleBytes);
      }
    }
  }
  return bytes;
}

bool IsBoolean(const char* name) {
  Parameter p{};
  return testing::FindParameter(name, &p) && kParameters[p].kind == ParameterKind::kBoolean;
}

struct Filtered {
  std::vector<uint8_t> source, output;
};

Filtered ThroughClassic(const Case& c) {
  frameserver::FrameServer server;
  server.LoadPlugin(SORVAN_PLUGIN_PATH);
  const VideoInfo vi = frameserver::MakeVideoInfo(static_cast<int>(c.format), kWidth, kHeight, 1);
  std::vector<PlaneShape> shapes;
  for (const frameserver::PackedPlane& p : frameserver::PackedPlanes(vi)) shapes.push_back({p.rowSize, p.height});
  Filtered f{SourceBytes(shapes, c.bits), {}};
  std::vector<frameserver::NamedArgument> named;
  for (const Setting& s : c.settings)
    named.push_back({s.name, IsBoolean(s.name) ? AVSValue(s.value != 0) : AVSValue(s.value)});
  PClip out = server.InvokeClip("Sorvan", {frameserver::MemoryClip::FromFrames(vi, {f.source})}, named);
  f.output = frameserver::ReadPacked(out->GetFrame(0, &server), vi);
  return f;
}

Filtered ThroughVapourSynth(const Case& c) {
  vshost::Host host;
  host.LoadPlugin(SORVAN_PLUGIN_PATH);
  VSVideoInfo vi{};
  vi.format = vshost::VideoFormatFromId(static_cast<uint32_t>(c.format));
  vi.fpsNum = 25;
  vi.fpsDen = 1;
  vi.width = kWidth;
  vi.height = kHeight;
  vi.numFrames = 1;
  const int32_t sampleBytes = vi.format.bytesPerSample;
  std::vector<PlaneShape> shapes;
  for (int p = 0; p < vi.format.numPlanes; ++p) {
    shapes.push_back({(p == 0 ? kWidth : kWidth >> vi.format.subSamplingW) * sampleBytes,
                      p == 0 ? kHeight : kHeight >> vi.format.subSamplingH});
  }
  Filtered f{SourceBytes(shapes, c.bits), {}};
  vshost::NodePtr source = host.SourceClip(vi, [&](int, VSFrame* frame) {
    const uint8_t* from = f.source.data();
    for (int p = 0; p < vi.format.numPlanes; ++p) {
      for (int32_t y = 0; y < shapes[p].height; ++y, from += shapes[p].rowBytes) {
        std::memcpy(frame->planes[p]->data + y * frame->strides[p], from, shapes[p].rowBytes);
      }
    }
  });
  vshost::MapPtr in = vshost::NewMap();
  vshost::SetNode(in.get(), "clip", source.get());
  for (const Setting& s : c.settings) vshost::SetInt(in.get(), s.name, s.value);
  vshost::MapPtr result = host.Invoke("sorvan", "Sorvan", *in);
  if (const char* error = vshost::ErrorOf(*result)) throw std::runtime_error(error);
  std::string error;
  vshost::NodePtr node = vshost::GetNode(*result, "clip");
  vshost::FramePtr frame = host.GetFrame(node.get(), 0, &error);
  if (!frame) throw std::runtime_error(error);
  for (int p = 0; p < vi.format.numPlanes; ++p) {
    for (int32_t y = 0; y < shapes[p].height; ++y) {
      const uint8_t* row = frame->planes[p]->data + y * frame->strides[p];
      f.output.insert(f.output.end(), row, row + shapes[p].rowBytes);
    }
  }
  return f;
}

Filtered ThroughAvisynthC(const Case& c) {
  avs_c_host::Environment env;
  const avs_c_host::LoadResult load = env.LoadPlugin(SORVAN_PLUGIN_PATH);
  if (!load.loaded) throw std::runtime_error(load.error);
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(static_cast<int32_t>(c.format), kWidth, kHeight, 1);
  const std::vector<avs_c_host::PlaneGeometry> planes = avs_c_host::FramePlanes(vi);
  std::vector<PlaneShape> shapes;
  for (const avs_c_host::PlaneGeometry& p : planes) shapes.push_back({p.rowSize, p.height});
  Filtered f{SourceBytes(shapes, c.bits), {}};
  std::vector<avs_c_host::NamedArgument> named;
  for (const Setting& s : c.settings) {
    named.push_back({s.name, IsBoolean(s.name) ? avs_c_host::Argument(s.value != 0) : avs_c_host::Argument(s.value)});
  }
  const avs_c_host::Clip source = avs_c_host::MakeMemoryClip(vi, {f.source});
  avs_c_host::CallResult r = env.Invoke("Sorvan", {avs_c_host::Argument(source)}, named);
  if (!r.clip) throw std::runtime_error(r.error);
  std::string error;
  const avs_c_host::Frame frame = r.clip.GetFrame(0, &error);
  if (!frame) throw std::runtime_error(error);
  f.output = frame.Bytes(planes);
  return f;
}

Filtered Through(const Case& c) {
  // Float at the reference level (see the top of this file); the cap is read when the filter is made.
  if (c.bits == 32) setenv("SORVAN_MAX_ISA", "scalar", 1);
  else unsetenv("SORVAN_MAX_ISA");
  switch (c.host) {
    case Host::kClassic: return ThroughClassic(c);
    case Host::kVapourSynth: return ThroughVapourSynth(c);
    default: return ThroughAvisynthC(c);
  }
}

// What one build computes: the frames of every case, each with the size of the units it is
// compared in. (The weight tables are held to fixed values by the core's tests on every build.)
struct Record {
  std::string name;
  std::vector<uint8_t> bytes;
  int32_t unitBytes;
};

std::vector<Record> Records() {
  std::vector<Record> records;
  for (const Case& c : Cases()) {
    Filtered f = Through(c);
    if (f.output.size() != f.source.size() || f.output == f.source) {
      throw std::runtime_error(std::string(c.name) + ": the filter changed nothing, so a comparison proves nothing");
    }
    records.push_back({c.name, std::move(f.output), c.bits == 32 ? 4 : c.bits > 8 ? 2 : 1});
  }
  return records;
}

// The file: for each record a line "NAME\tBYTES\n", then the bytes.
int Write(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const Record& r : Records()) {
    out << r.name << '\t' << r.bytes.size() << '\n';
    out.write(reinterpret_cast<const char*>(r.bytes.data()), static_cast<std::streamsize>(r.bytes.size()));
  }
  return out.flush() ? 0 : 1;
}

int Check(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::map<std::string, std::vector<uint8_t>> expected;
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    std::vector<uint8_t> bytes(tab == std::string::npos ? 0 : std::stoul(line.substr(tab + 1)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    expected[line.substr(0, tab)] = std::move(bytes);
  }
  if (expected.empty()) {
    std::cerr << path << ": nothing of the native build (its sorvan_plugin_frames writes it)\n";
    return 1;
  }
  const std::vector<Record> records = Records();
  int failures = 0;
  for (const Record& r : records) {
    const auto it = expected.find(r.name);
    if (it == expected.end() || it->second.size() != r.bytes.size()) {
      std::cout << "FAIL " << r.name << ": the native build has none of this size\n";
      ++failures;
      continue;
    }
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < r.bytes.size(); i += r.unitBytes) {
      if (std::memcmp(&r.bytes[i], &it->second[i], r.unitBytes) != 0 && differing++ == 0) first = i / r.unitBytes;
    }
    if (differing == 0) {
      std::cout << "ok   " << r.name << '\n';
    } else {
      std::cout << "FAIL " << r.name << ": " << differing << " of " << r.bytes.size() / r.unitBytes
                << " values differ from the native build's, the first at " << first << '\n';
      ++failures;
    }
  }
  std::cout << records.size() - failures << " equal to the native build's, " << failures << " differ\n";
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode != "write" && mode != "check") {
    std::cerr << "usage: " << argv[0] << " write|check FILE\n";
    return 2;
  }
  try {
    return mode == "write" ? Write(argv[2]) : Check(argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "sorvan_plugin_frames: " << e.what() << '\n';
    return 1;
  }
}
