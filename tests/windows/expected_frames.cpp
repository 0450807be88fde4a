// Filters one frame with the Linux build of the core, for comparison with what sorvan.dll
// computes under emulation. Reads the frame's planes from stdin, tightly packed (the main image,
// then for planar types U and V at half width and height), and writes the result the same way.
//
//   sorvan_expected_frames PIXELTYPE WIDTH HEIGHT RAD STR RY GU BV FORCE PRY PGU PBV NRY NGU NBV
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin/classic/pixel_type.h"
#include "core/process_frame.h"

namespace {

int32_t Number(const char* text) { return static_cast<int32_t>(std::stoll(text, nullptr, 0)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 16) {
    std::cerr << "usage: " << argv[0]
              << " PIXELTYPE WIDTH HEIGHT RAD STR RY GU BV FORCE PRY PGU PBV NRY NGU NBV < in > out\n";
    return 2;
  }
  const sorvan::ClipGeometry clip{Number(argv[2]), Number(argv[3]), Number(argv[1])};
  sorvan::FilterSettings settings;
  settings.rad = Number(argv[4]);
  settings.str = Number(argv[5]);
  settings.ry = Number(argv[6]) != 0;
  settings.gu = Number(argv[7]) != 0;
  settings.bv = Number(argv[8]) != 0;
  settings.force = Number(argv[9]) != 0;
  settings.pry = Number(argv[10]);
  settings.pgu = Number(argv[11]);
  settings.pbv = Number(argv[12]);
  settings.nry = Number(argv[13]);
  settings.ngu = Number(argv[14]);
  settings.nbv = Number(argv[15]);
  if (sorvan::BitsPerPixel(clip.pixelType) == 0) {
    std::cerr << "unsupported pixel type " << argv[1] << "\n";
    return 2;
  }
  if (!sorvan::PrepareFilterTables(settings, clip.pixelType, clip.width, clip.height)) {
    std::cerr << "out of memory\n";
    return 1;
  }

  const bool planar = (clip.pixelType & sorvan::CS_PLANAR) != 0;
  const int32_t rowSize = planar ? clip.width : clip.width * (sorvan::BitsPerPixel(clip.pixelType) / 8);
  const int32_t chromaWidth = planar ? clip.width / 2 : 0;
  const int32_t chromaHeight = planar ? clip.height / 2 : 0;
  const size_t mainBytes = static_cast<size_t>(rowSize) * static_cast<size_t>(clip.height);
  const size_t chromaBytes = static_cast<size_t>(chromaWidth) * static_cast<size_t>(chromaHeight);

  std::vector<uint8_t> in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (in.size() != mainBytes + 2 * chromaBytes) {
    std::cerr << "expected " << mainBytes + 2 * chromaBytes << " bytes of frame, got " << in.size() << "\n";
    return 2;
  }
  std::vector<uint8_t> out(in.size(), 0);

  const sorvan::SourceFramePlanes src{in.data(), rowSize, rowSize, clip.height,
                                      planar ? in.data() + mainBytes : nullptr,
                                      planar ? in.data() + mainBytes + chromaBytes : nullptr, chromaWidth};
  const sorvan::FramePlanes dst{out.data(), rowSize, rowSize, clip.height,
                                planar ? out.data() + mainBytes : nullptr,
                                planar ? out.data() + mainBytes + chromaBytes : nullptr, chromaWidth};
  sorvan::ProcessFrame(clip, settings, dst, src, sorvan::CopyPlane{&sorvan::CopyPlaneRows, nullptr});

  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
