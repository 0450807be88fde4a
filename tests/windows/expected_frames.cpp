// Filters one frame with the Linux build of the core, for comparison with what the Windows DLLs
// compute under emulation. Reads the frame's planes from stdin, tightly packed, and writes the
// result the same way. Two ways to name the format:
//
//   sorvan_expected_frames PIXELTYPE WIDTH HEIGHT RAD STR RY GU BV FORCE PRY PGU PBV NRY NGU NBV
//     a 2.5 pixel type; planes: the main image, then for planar types U and V at half size;
//   sorvan_expected_frames vs FAMILY SAMPLETYPE BITS SSW SSH WIDTH HEIGHT RAD … NBV
//     a VapourSynth format (any depth and sample type); planes in its order (Y U V, or R G B).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "core/filter_plan.h"
#include "plugin/classic/classic_formats.h"
#include "plugin/vapoursynth/vapoursynth_formats.h"

namespace {

int32_t Number(const char* text) { return static_cast<int32_t>(std::stoll(text, nullptr, 0)); }

// The VapourSynth form: every plane of the format at its own size, in plane order.
int FilterHostFormat(char** argv) {
  VSVideoFormat host{};
  host.colorFamily = Number(argv[0]);
  host.sampleType = Number(argv[1]);
  host.bitsPerSample = Number(argv[2]);
  host.bytesPerSample = host.bitsPerSample > 16 ? 4 : (host.bitsPerSample > 8 ? 2 : 1);
  host.subSamplingW = Number(argv[3]);
  host.subSamplingH = Number(argv[4]);
  host.numPlanes = host.colorFamily == cfGray ? 1 : 3;
  const int32_t width = Number(argv[5]);
  const int32_t height = Number(argv[6]);
  sorvan::FilterArguments arguments{};
  for (int i = 0; i < sorvan::kParameterCount; ++i) arguments.values[i] = Number(argv[7 + i]);
  sorvan::VideoFormat format{};
  if (!sorvan::VapourSynthFormat(host, &format)) {
    std::cerr << "unsupported format\n";
    return 2;
  }
  sorvan::FilterPlan plan;
  if (plan.Init(arguments, format, width, height) != sorvan::PlanStatus::kOk) {
    std::cerr << "arguments refused or out of memory\n";
    return 1;
  }
  std::vector<uint8_t> in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  std::vector<uint8_t> out(in.size(), 0);
  sorvan::SourceFrameView src{};
  sorvan::FrameView dst{};
  size_t offset = 0;
  for (int p = 0; p < format.planeCount; ++p) {
    const int32_t rowBytes = static_cast<int32_t>(sorvan::PlaneRowBytes(format, p, width));
    const int32_t planeWidth = sorvan::PlaneWidth(format, p, width);
    const int32_t planeHeight = sorvan::PlaneHeight(format, p, height);
    if (offset + static_cast<size_t>(rowBytes) * planeHeight > in.size()) {
      std::cerr << "input shorter than the frame\n";
      return 2;
    }
    src.planes[p] = {in.data() + offset, rowBytes, planeWidth, planeHeight};
    dst.planes[p] = {out.data() + offset, rowBytes, planeWidth, planeHeight};
    offset += static_cast<size_t>(rowBytes) * planeHeight;
  }
  if (offset != in.size()) {
    std::cerr << "expected " << offset << " bytes of frame, got " << in.size() << "\n";
    return 2;
  }
  if (!plan.Process(dst, src, sorvan::kMemoryCopyPlane)) return 1;
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 21 && std::string(argv[1]) == "vs") return FilterHostFormat(argv + 2);
  if (argc != 16) {
    std::cerr << "usage: " << argv[0]
              << " PIXELTYPE WIDTH HEIGHT RAD STR RY GU BV FORCE PRY PGU PBV NRY NGU NBV < in > out\n";
    return 2;
  }
  const int32_t pixelType = Number(argv[1]);
  const int32_t width = Number(argv[2]);
  const int32_t height = Number(argv[3]);
  sorvan::FilterArguments arguments{};
  for (int i = 0; i < sorvan::kParameterCount; ++i) arguments.values[i] = Number(argv[4 + i]);
  sorvan::VideoFormat format{};
  if (!sorvan::ClassicFormat(pixelType, &format)) {
    std::cerr << "unsupported pixel type " << argv[1] << "\n";
    return 2;
  }
  sorvan::FilterPlan plan;
  if (plan.Init(arguments, format, width, height) != sorvan::PlanStatus::kOk) {
    std::cerr << "arguments refused or out of memory\n";
    return 1;
  }

  // Input: the main image, then U, then V, each without padding.
  const bool planar = format.planeCount > 1;
  const int32_t rowSize = static_cast<int32_t>(sorvan::PlaneRowBytes(format, 0, width));
  const int32_t chromaWidth = planar ? width / 2 : 0;
  const int32_t chromaHeight = planar ? height / 2 : 0;
  const size_t mainBytes = static_cast<size_t>(rowSize) * static_cast<size_t>(height);
  const size_t chromaBytes = static_cast<size_t>(chromaWidth) * static_cast<size_t>(chromaHeight);

  std::vector<uint8_t> in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (in.size() != mainBytes + 2 * chromaBytes) {
    std::cerr << "expected " << mainBytes + 2 * chromaBytes << " bytes of frame, got " << in.size() << "\n";
    return 2;
  }
  std::vector<uint8_t> out(in.size(), 0);
  sorvan::SourceFrameView src{};
  sorvan::FrameView dst{};
  src.planes[0] = {in.data(), rowSize, planar ? width : width, height};
  dst.planes[0] = {out.data(), rowSize, width, height};
  for (int c = 1; planar && c < 3; ++c) {
    const size_t offset = mainBytes + (c - 1) * chromaBytes;
    src.planes[format.channels[c].plane] = {in.data() + offset, chromaWidth, chromaWidth, chromaHeight};
    dst.planes[format.channels[c].plane] = {out.data() + offset, chromaWidth, chromaWidth, chromaHeight};
  }
  if (!plan.Process(dst, src, sorvan::kMemoryCopyPlane)) return 1;

  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
