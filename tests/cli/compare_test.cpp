// `sorvan --compare`: the PNG read back with libpng, for a synthetic frame in every colour
// family: flat channels with a small spike the filter smooths away (a known change), a larger one
// a limit puts back (the marker), and a chroma spike shown at luma size.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/compare/bitmap_font.h"
#include "cli/compare/compare_picture.h"
#include "cli/format_names.h"
#include "run_command.h"

namespace sorvan::cli {

void PrintTo(Rgb c, std::ostream* os) { *os << "(" << int{c.r} << ", " << int{c.g} << ", " << int{c.b} << ")"; }

namespace {

using testing::CommandResult;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr int32_t kSmoothedX = 20, kSmoothedY = 20;  // channel 0 raised by 2 levels: within pry=3
constexpr int32_t kKeptX = 40, kKeptY = 30;          // channel 0 raised by 6 levels: beyond it
constexpr int32_t kChromaSpike = 5;                  // channel 1 raised by 3 at (5, 5) of its own grid: within pgu=4
constexpr int32_t kRad = 5;

struct Png {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;
  Rgb At(int32_t x, int32_t y) const {
    const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    return {p[0], p[1], p[2]};
  }
};

Png ReadPng(const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  Png png;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
    ADD_FAILURE() << "libpng cannot read " << path << ": " << image.message;
    return png;
  }
  image.format = PNG_FORMAT_RGB;
  png.width = static_cast<int32_t>(image.width);
  png.height = static_cast<int32_t>(image.height);
  png.rgb.resize(PNG_IMAGE_SIZE(image));
  EXPECT_NE(png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr), 0) << image.message;
  return png;
}

// Sets sample (x, y) of channel c, in the channel's own grid, to `level` 8-bit levels at the
// format's depth; placement from the core's description of the format alone.
void SetLevel(const VideoFormat& f, std::vector<uint8_t>& frame, int32_t c, int32_t x, int32_t y, double level) {
  const ChannelPlacement& ch = f.channels[c];
  size_t offset = 0;
  for (int32_t p = 0; p < ch.plane; ++p) offset += PlaneRowBytes(f, p, kWidth) * PlaneHeight(f, p, kHeight);
  const int32_t step = ch.step > 0 ? ch.step : f.planes[ch.plane].samplesPerPixel;
  const int32_t bytes = BytesPerSample(f);
  uint8_t* at = frame.data() + offset + static_cast<size_t>(y) * PlaneRowBytes(f, ch.plane, kWidth) +
                static_cast<size_t>(ch.offset + x * step) * bytes;
  if (f.sampleType == SampleType::kFloat) {
    const auto v = static_cast<float>(level / 255);
    std::memcpy(at, &v, 4);
  } else if (bytes == 2) {
    const auto v = static_cast<uint16_t>(level * (1 << (f.bitsPerSample - 8)));
    std::memcpy(at, &v, 2);
  } else {
    *at = static_cast<uint8_t>(level);
  }
}

std::vector<uint8_t> SyntheticFrame(const VideoFormat& f) {
  std::vector<uint8_t> frame(static_cast<size_t>(FrameBytes(f, kWidth, kHeight)));
  for (int32_t c = 0; c < ColourChannelCount(f); ++c) {
    const ChannelPlacement& ch = f.channels[c];
    const int32_t w = PlaneWidth(f, ch.plane, kWidth) >> ch.widthShift;
    for (int32_t y = 0; y < PlaneHeight(f, ch.plane, kHeight); ++y) {
      for (int32_t x = 0; x < w; ++x) SetLevel(f, frame, c, x, y, c == 0 ? 100 : 128);
    }
  }
  SetLevel(f, frame, 0, kSmoothedX, kSmoothedY, 102);
  SetLevel(f, frame, 0, kKeptX, kKeptY, 106);
  if (ColourChannelCount(f) == 3) SetLevel(f, frame, 1, kChromaSpike, kChromaSpike, 131);
  return frame;
}

// Runs --compare on one synthetic raw frame; the caption is taken from the command's report.
struct CompareRun {
  CommandResult result;
  Png png;
  std::string caption;
};
CompareRun RunCompareOn(const TempDir& dir, const char* format, const std::vector<std::string>& extra = {}) {
  const FormatName* name = FindRawFormat(format);
  const std::vector<uint8_t> frame = SyntheticFrame(name->format);
  WriteFileBytes(dir / "in.raw", std::string(frame.begin(), frame.end()));
  std::vector<std::string> args = {
      "--compare", "0", (dir / "c.png").string(), "--ry", "true", "--pgu", "4", "--format", format, "--size", "64x48"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back((dir / "in.raw").string());
  CompareRun run;
  run.result = RunProgram(SORVAN_COMMAND, args);
  if (run.result.exitStatus != 0) return run;
  run.png = ReadPng((dir / "c.png").string());
  const size_t colon = run.result.err.find("): ");
  if (colon != std::string::npos) run.caption = run.result.err.substr(colon + 3, run.result.err.size() - colon - 4);
  return run;
}

// Within the averaging window of a spike, where float averages move by fractions of a level.
bool NearSpike(const VideoFormat& f, int32_t x, int32_t y) {
  const auto near = [](int32_t x, int32_t y, int32_t cx, int32_t cy) {
    return std::abs(x - cx) <= kRad && std::abs(y - cy) <= kRad;
  };
  if (near(x, y, kSmoothedX, kSmoothedY) || near(x, y, kKeptX, kKeptY)) return true;
  if (ColourChannelCount(f) != 3) return false;
  const int32_t sx = f.planes[f.channels[1].plane].widthShift + f.channels[1].widthShift;
  const int32_t sy = f.planes[f.channels[1].plane].heightShift;
  return near(x >> sx, y >> sy, kChromaSpike, kChromaSpike);
}

Rgb Grey(int v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v)}; }

// The layout the picture was drawn with, from the region, the zoom and the caption it reports.
PictureLayout LayoutOf(const CompareRun& run, int32_t regionWidth, int32_t regionHeight, int32_t zoom) {
  const PictureLayout l = LayoutPicture(regionWidth, regionHeight, zoom, run.caption);
  EXPECT_EQ(run.png.width, l.width);
  EXPECT_EQ(run.png.height, l.height);
  EXPECT_NE(run.caption.find(" zoom " + std::to_string(zoom) + "x "), std::string::npos) << run.caption;
  return l;
}

// The pixel (x, y) of the region in panel `panel`, after checking that the whole zoomed block
// it makes has its colour.
Rgb RegionPixel(const Png& png, const PictureLayout& l, int32_t panel, int32_t x, int32_t y) {
  const Rgb colour = png.At(l.panelX[panel] + x * l.zoom, l.panelY[panel] + y * l.zoom);
  for (int32_t dy = 0; dy < l.zoom; ++dy) {
    for (int32_t dx = 0; dx < l.zoom; ++dx) {
      const Rgb p = png.At(l.panelX[panel] + x * l.zoom + dx, l.panelY[panel] + y * l.zoom + dy);
      if (p != colour) {
        ADD_FAILURE() << "panel " << panel << " pixel " << x << "," << y << " is not one block of " << l.zoom;
        return p;
      }
    }
  }
  return colour;
}

// Outside the panels, the picture is exactly the labels and the caption lines as the font draws
// them, and every caption line stays within the panels' width.
void ExpectTextAsLaidOut(const Png& png, const PictureLayout& l) {
  const int32_t border = l.panelX[0];
  ASSERT_GT(l.captionLines.size(), 0u);
  for (const std::string& line : l.captionLines) EXPECT_LE(TextWidth(line, l.textScale), l.width - 2 * border) << line;
  std::vector<uint8_t> expected(static_cast<size_t>(l.width) * l.height * 3, 0);
  const RgbImage image{l.width, l.height, expected.data()};
  for (int32_t i = 0; i < kPanels; ++i)
    DrawText(image, l.panelX[i], l.labelY[i], kPanelLabels[i], l.textScale, kPictureText);
  for (size_t i = 0; i < l.captionLines.size(); ++i) {
    DrawText(image, l.captionX, l.captionY + static_cast<int32_t>(i) * l.lineAdvance, l.captionLines[i], l.textScale,
             kPictureText);
  }
  const auto inPanel = [&](int32_t x, int32_t y) {
    for (int32_t i = 0; i < kPanels; ++i) {
      if (x >= l.panelX[i] && x < l.panelX[i] + l.panelWidth && y >= l.panelY[i] && y < l.panelY[i] + l.panelHeight) {
        return true;
      }
    }
    return false;
  };
  int32_t textPixels = 0;
  for (int32_t y = 0; y < l.height; ++y) {
    for (int32_t x = 0; x < l.width; ++x) {
      if (inPanel(x, y)) continue;
      const bool text = expected[(static_cast<size_t>(y) * l.width + x) * 3] != 0;
      textPixels += text ? 1 : 0;
      ASSERT_EQ(png.At(x, y), text ? kPictureText : kPictureBackground) << x << "," << y;
    }
  }
  EXPECT_GT(textPixels, 100);
}

class ComparePicture : public ::testing::TestWithParam<const char*> {};

TEST_P(ComparePicture, ShowsTheKnownChangesAndNothingElse) {
  TempDir dir;
  const CompareRun run = RunCompareOn(dir, GetParam());
  ASSERT_EQ(run.result.exitStatus, 0) << run.result.err;
  const VideoFormat& f = FindRawFormat(GetParam())->format;
  // 64 pixels wide: enlarged 8 times by default, to panels of 512.
  const PictureLayout l = LayoutOf(run, kWidth, kHeight, 8);
  ExpectTextAsLaidOut(run.png, l);

  // The flat source as displayed: BT.709 limited range for YUV (U = V = 128 gives grey).
  const Rgb flat = f.family == ColourFamily::kYuv   ? Grey(static_cast<int>(std::lround((100 - 16) * 255 / 219.0)))
                   : f.family == ColourFamily::kRgb ? Rgb{128, 128, 100}  // channel 0 is blue
                                                    : Grey(100);
  // Channel 0 down by 2 levels, amplified 8 times.
  const Rgb smoothed = f.family == ColourFamily::kRgb ? Rgb{128, 128, 112} : Grey(112);
  const bool colour = ColourChannelCount(f) == 3;
  const int32_t chromaShiftX = colour ? f.planes[f.channels[1].plane].widthShift + f.channels[1].widthShift : 0;
  const int32_t chromaShiftY = colour ? f.planes[f.channels[1].plane].heightShift : 0;

  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const Rgb before = RegionPixel(run.png, l, 0, x, y);
      const Rgb after = RegionPixel(run.png, l, 1, x, y);
      const Rgb difference = RegionPixel(run.png, l, 2, x, y);
      const Rgb limits = RegionPixel(run.png, l, 3, x, y);
      // The limits panel marks the one sample a limit put back, and shows grey elsewhere.
      if (x == kKeptX && y == kKeptY) {
        EXPECT_EQ(limits, kRestoredMarker);
      } else {
        ASSERT_TRUE(limits.r == limits.g && limits.g == limits.b && limits.r >= 32 && limits.r < 160)
            << "limits panel at " << x << "," << y;
      }
      const bool chroma = colour && (x >> chromaShiftX) == kChromaSpike && (y >> chromaShiftY) == kChromaSpike;
      if (x == kSmoothedX && y == kSmoothedY) {
        EXPECT_EQ(after, flat);
        EXPECT_EQ(difference, smoothed);
      } else if (x == kKeptX && y == kKeptY) {
        EXPECT_EQ(after, before) << "a limit kept the source";
        EXPECT_EQ(difference, Grey(128)) << "the difference panel shows no marks";
      } else if (chroma) {
        // Channel 1 down by 3: less green for RGB; for YUV a fall of U, yellower with red unchanged.
        if (f.family == ColourFamily::kRgb) {
          EXPECT_EQ(difference, (Rgb{128, 104, 128})) << x << "," << y;
        } else {
          EXPECT_EQ(difference.r, 128) << x << "," << y;
          EXPECT_GT(difference.g, 128) << x << "," << y;
          EXPECT_LT(difference.b, 96) << x << "," << y;
        }
      } else if (!NearSpike(f, x, y)) {
        ASSERT_EQ(before, flat) << x << "," << y;
        ASSERT_EQ(after, flat) << x << "," << y;
        ASSERT_EQ(difference, Grey(128)) << "unchanged at " << x << "," << y;
      }
    }
  }
  EXPECT_NE(run.caption.find(" ry=true "), std::string::npos) << run.caption;
  EXPECT_NE(run.caption.find(" pgu=4 "), std::string::npos) << run.caption;
  // One sample of the 64x48 of channel 0 put back by its limit.
  const char* first = f.family == ColourFamily::kYuv ? "Y" : f.family == ColourFamily::kRgb ? "B" : "gray";
  EXPECT_NE(run.caption.find(std::string("(magenta) ") + first + " 0.03%"), std::string::npos) << run.caption;
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, ComparePicture,
                         ::testing::Values("yuv420p", "yuv420p10le", "yuv444p16le", "gbrp", "bgr24", "gray",
                                           "grayf32le", "gbrpf32le"),
                         [](const auto& info) { return std::string(info.param); });

// A crop shown at the zoom asked for; a narrow picture wraps its caption instead of widening;
// limits wide enough to keep nothing mark nothing.
TEST(CompareCommand, CropZoomAndLimitsShowWhatTheyShould) {
  struct Case {
    std::vector<std::string> options;
    CropRegion region;
    int32_t zoom;
    bool marked;  // the kept spike is marked in the limits panel
  };
  const Case cases[] = {
      {{"--crop", "16x12+12+14"}, {16, 12, 12, 14}, 16, false},
      {{"--crop", "16x12+30+20", "--zoom", "3"}, {16, 12, 30, 20}, 3, true},
      {{"--crop", "8x8+36+26", "--zoom", "1"}, {8, 8, 36, 26}, 1, true},
      {{"--pry", "10", "--nry", "10", "--zoom", "1"}, {kWidth, kHeight, 0, 0}, 1, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const CompareRun run = RunCompareOn(dir, "yuv420p", c.options);
    ASSERT_EQ(run.result.exitStatus, 0) << run.result.err;
    const PictureLayout l = LayoutOf(run, c.region.width, c.region.height, c.zoom);
    ExpectTextAsLaidOut(run.png, l);
    if (c.region.width == 8) {
      // Narrower than the labels: the panels' slots are the label's width, and the caption wraps.
      EXPECT_EQ(l.width, 3 * 6 + 2 * TextWidth("difference", 1));
      EXPECT_GE(l.captionLines.size(), 10u);
    }
    int32_t marks = 0;
    for (int32_t y = 0; y < c.region.height; ++y) {
      for (int32_t x = 0; x < c.region.width; ++x) {
        const bool kept = x + c.region.x == kKeptX && y + c.region.y == kKeptY;
        const Rgb difference = RegionPixel(run.png, l, 2, x, y);
        if (x + c.region.x == kSmoothedX && y + c.region.y == kSmoothedY) {
          EXPECT_EQ(difference, Grey(112));
        } else if (!kept && ((x + c.region.x) / 2 != kChromaSpike || (y + c.region.y) / 2 != kChromaSpike)) {
          EXPECT_EQ(difference, Grey(128)) << x << "," << y;
        }
        const bool mark = RegionPixel(run.png, l, 3, x, y) == kRestoredMarker;
        marks += mark ? 1 : 0;
        EXPECT_EQ(mark, kept && c.marked) << x << "," << y;
      }
    }
    EXPECT_EQ(marks, c.marked ? 1 : 0) << run.caption;
  }
}

TEST(CompareCommand, FullRangeFromTheY4mTagOrTheOption) {
  TempDir dir;
  std::string frame(64 * 48 * 3 / 2, static_cast<char>(128));
  std::memset(frame.data(), 100, 64 * 48);
  for (const char* header : {"YUV4MPEG2 W64 H48 C420jpeg XCOLORRANGE=FULL\n", "YUV4MPEG2 W64 H48 C420jpeg\n"}) {
    WriteFileBytes(dir / "in.y4m", std::string(header) + "FRAME\n" + frame);
    std::vector<std::string> args = {"--compare", "0", (dir / "c.png").string(), (dir / "in.y4m").string()};
    if (std::string(header).find("FULL") == std::string::npos) args.insert(args.begin(), {"--range", "full"});
    const CommandResult r = RunProgram(SORVAN_COMMAND, args);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("BT.709 full"), std::string::npos) << r.err;
    const Png png = ReadPng((dir / "c.png").string());
    const size_t colon = r.err.find("): ");
    const PictureLayout l = LayoutPicture(64, 48, 8, r.err.substr(colon + 3, r.err.size() - colon - 4));
    EXPECT_EQ(png.At(l.panelX[0] + 30, l.panelY[0] + 30), Grey(100));
  }
}

// Each refusal: one line on standard error, non-zero status, and no picture (nor temporary file).
TEST(CompareCommand, RefusalsLeaveNoPicture) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  TempDir dir;
  std::string y4m = "YUV4MPEG2 W64 H48 C420jpeg\n";
  for (int f = 0; f < 3; ++f) y4m += "FRAME\n" + std::string(64 * 48 * 3 / 2, static_cast<char>(90 + f));
  WriteFileBytes(dir / "in.y4m", y4m);
  const std::string in = (dir / "in.y4m").string();
  const std::string picture = (dir / "c.png").string();
  // A header and no frame: what is refused there is refused before any frame is read.
  WriteFileBytes(dir / "mono.y4m", "YUV4MPEG2 W2048 H2048 Cmono\n");
  const std::string mono = (dir / "mono.y4m").string();
  const std::vector<Case> cases = {
      {{"--compare", "3", picture, in}, "sorvan: --compare 3: the input has only 3 frames (0 to 2)\n"},
      {{"--compare", "-1", picture, in}, "--compare -1 is out of range"},
      {{"--compare", "x", picture, in}, "--compare x is not a decimal integer"},
      {{"--compare", "0", picture, "--crop", "60x10+8+0", in}, "--crop 60x10+8+0 reaches outside the 64x48 frame"},
      {{"--compare", "0", picture, "--crop", "0x10+0+0", in}, "--crop 0x10+0+0 is not of the form WxH+X+Y"},
      {{"--compare", "0", picture, "--crop", "10x10+-1+0", in}, "is not of the form"},
      {{"--compare", "0", picture, "--matrix", "bt709", in}, "--matrix bt709 is not 709, 601 or 2020"},
      {{"--crop", "8x8+0+0", in, picture}, "--crop shapes the picture of --compare"},
      {{"--compare", "0", picture, in, (dir / "out.y4m").string()}, "give no OUTPUT"},
      {{"--compare", "0", (dir / "missing" / "c.png").string(), in}, "its folder"},
      {{"--compare", "0", "", in}, "sorvan: PICTURE is an empty name: give a file name, or - for standard output\n"},
      {{"--compare", "0", picture, "--zoom", "17", in}, "--zoom 17 is out of range: give 1 to 16"},
      {{"--compare", "0", picture, "--zoom", "16", "--ry", "true", mono},
       "--zoom 16 would make panels of 32768x32768 pixels; a panel holds at most 16384 on a side"},
      {{"--compare", "0", picture, "--matrix", "601", "--ry", "true", mono},
       "--matrix applies to YUV input only; this input is gray"},
      {{"--compare", "0", picture, "--frames", "1", in}, "--frames does nothing with --compare"},
      {{"--compare", "0", picture, "--threads", "2", in}, "--threads does nothing with --compare"},
      {{"--compare", "0", in, in}, "is the input file"},
      {{"--compare", "0", picture, "--rad", "9", in}, "Sorvan:rad must be between 1 and 8"},
  };
  for (const Case& c : cases) {
    const CommandResult r = RunProgram(SORVAN_COMMAND, c.args);
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.y4m", "mono.y4m"})) << c.args[0] << " " << c.args[1];
    EXPECT_EQ(ReadFileBytes(dir / "in.y4m"), y4m);
  }
}

}  // namespace
}  // namespace sorvan::cli
