#include "cli/format_names.h"

#include <fmt/format.h>

#include <vector>

namespace sorvan::cli {
namespace {

VideoFormat Planar(ColourFamily family, int32_t bits, int32_t widthShift, int32_t heightShift, bool alpha,
                   const int8_t (&planes)[kColourChannels]) {
  return PlanarFormat({.family = family,
                       .sampleType = bits == 32 ? SampleType::kFloat : SampleType::kInteger,
                       .bitsPerSample = bits,
                       .widthShift = widthShift,
                       .heightShift = heightShift,
                       .alpha = alpha,
                       .channelPlanes = {planes[0], planes[1], planes[2]}});
}

VideoFormat Packed(PackedLayout layout) { return PackedFormat(layout); }

std::vector<FormatName> MakeTable() {
  std::vector<FormatName> table = {
      // Raw, by ffmpeg's pixel-format names (little-endian words from 9 bits up).
      {"gray", NameKind::kRaw, Planar(ColourFamily::kGray, 8, 0, 0, false, kPlanesYuv), ""},
      {"gray9le", NameKind::kRaw, Planar(ColourFamily::kGray, 9, 0, 0, false, kPlanesYuv), ""},
      {"gray10le", NameKind::kRaw, Planar(ColourFamily::kGray, 10, 0, 0, false, kPlanesYuv), ""},
      {"gray12le", NameKind::kRaw, Planar(ColourFamily::kGray, 12, 0, 0, false, kPlanesYuv), ""},
      {"gray14le", NameKind::kRaw, Planar(ColourFamily::kGray, 14, 0, 0, false, kPlanesYuv), ""},
      {"gray16le", NameKind::kRaw, Planar(ColourFamily::kGray, 16, 0, 0, false, kPlanesYuv), ""},
      {"grayf32le", NameKind::kRaw, Planar(ColourFamily::kGray, 32, 0, 0, false, kPlanesYuv), ""},
      {"yuv420p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYuv), ""},
      {"yuv420p9le", NameKind::kRaw, Planar(ColourFamily::kYuv, 9, 1, 1, false, kPlanesYuv), ""},
      {"yuv420p10le", NameKind::kRaw, Planar(ColourFamily::kYuv, 10, 1, 1, false, kPlanesYuv), ""},
      {"yuv420p12le", NameKind::kRaw, Planar(ColourFamily::kYuv, 12, 1, 1, false, kPlanesYuv), ""},
      {"yuv420p14le", NameKind::kRaw, Planar(ColourFamily::kYuv, 14, 1, 1, false, kPlanesYuv), ""},
      {"yuv420p16le", NameKind::kRaw, Planar(ColourFamily::kYuv, 16, 1, 1, false, kPlanesYuv), ""},
      {"yuv422p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 1, 0, false, kPlanesYuv), ""},
      {"yuv422p9le", NameKind::kRaw, Planar(ColourFamily::kYuv, 9, 1, 0, false, kPlanesYuv), ""},
      {"yuv422p10le", NameKind::kRaw, Planar(ColourFamily::kYuv, 10, 1, 0, false, kPlanesYuv), ""},
      {"yuv422p12le", NameKind::kRaw, Planar(ColourFamily::kYuv, 12, 1, 0, false, kPlanesYuv), ""},
      {"yuv422p14le", NameKind::kRaw, Planar(ColourFamily::kYuv, 14, 1, 0, false, kPlanesYuv), ""},
      {"yuv422p16le", NameKind::kRaw, Planar(ColourFamily::kYuv, 16, 1, 0, false, kPlanesYuv), ""},
      {"yuv444p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 0, 0, false, kPlanesYuv), ""},
      {"yuv444p9le", NameKind::kRaw, Planar(ColourFamily::kYuv, 9, 0, 0, false, kPlanesYuv), ""},
      {"yuv444p10le", NameKind::kRaw, Planar(ColourFamily::kYuv, 10, 0, 0, false, kPlanesYuv), ""},
      {"yuv444p12le", NameKind::kRaw, Planar(ColourFamily::kYuv, 12, 0, 0, false, kPlanesYuv), ""},
      {"yuv444p14le", NameKind::kRaw, Planar(ColourFamily::kYuv, 14, 0, 0, false, kPlanesYuv), ""},
      {"yuv444p16le", NameKind::kRaw, Planar(ColourFamily::kYuv, 16, 0, 0, false, kPlanesYuv), ""},
      {"yuv411p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 2, 0, false, kPlanesYuv), ""},
      {"yuv410p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 2, 2, false, kPlanesYuv), ""},
      {"yuv440p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 0, 1, false, kPlanesYuv), ""},
      {"yuv440p10le", NameKind::kRaw, Planar(ColourFamily::kYuv, 10, 0, 1, false, kPlanesYuv), ""},
      {"yuv440p12le", NameKind::kRaw, Planar(ColourFamily::kYuv, 12, 0, 1, false, kPlanesYuv), ""},
      {"yuva420p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 1, 1, true, kPlanesYuv), ""},
      {"yuva420p9le", NameKind::kRaw, Planar(ColourFamily::kYuv, 9, 1, 1, true, kPlanesYuv), ""},
      {"yuva420p10le", NameKind::kRaw, Planar(ColourFamily::kYuv, 10, 1, 1, true, kPlanesYuv), ""},
      {"yuva420p16le", NameKind::kRaw, Planar(ColourFamily::kYuv, 16, 1, 1, true, kPlanesYuv), ""},
      {"yuva422p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 1, 0, true, kPlanesYuv), ""},
      {"yuva422p9le", NameKind::kRaw, Planar(ColourFamily::kYuv, 9, 1, 0, true, kPlanesYuv), ""},
      {"yuva422p10le", NameKind::kRaw, Planar(ColourFamily::kYuv, 10, 1, 0, true, kPlanesYuv), ""},
      {"yuva422p12le", NameKind::kRaw, Planar(ColourFamily::kYuv, 12, 1, 0, true, kPlanesYuv), ""},
      {"yuva422p16le", NameKind::kRaw, Planar(ColourFamily::kYuv, 16, 1, 0, true, kPlanesYuv), ""},
      {"yuva444p", NameKind::kRaw, Planar(ColourFamily::kYuv, 8, 0, 0, true, kPlanesYuv), ""},
      {"yuva444p9le", NameKind::kRaw, Planar(ColourFamily::kYuv, 9, 0, 0, true, kPlanesYuv), ""},
      {"yuva444p10le", NameKind::kRaw, Planar(ColourFamily::kYuv, 10, 0, 0, true, kPlanesYuv), ""},
      {"yuva444p12le", NameKind::kRaw, Planar(ColourFamily::kYuv, 12, 0, 0, true, kPlanesYuv), ""},
      {"yuva444p16le", NameKind::kRaw, Planar(ColourFamily::kYuv, 16, 0, 0, true, kPlanesYuv), ""},
      {"gbrp", NameKind::kRaw, Planar(ColourFamily::kRgb, 8, 0, 0, false, kPlanesGbr), ""},
      {"gbrp9le", NameKind::kRaw, Planar(ColourFamily::kRgb, 9, 0, 0, false, kPlanesGbr), ""},
      {"gbrp10le", NameKind::kRaw, Planar(ColourFamily::kRgb, 10, 0, 0, false, kPlanesGbr), ""},
      {"gbrp12le", NameKind::kRaw, Planar(ColourFamily::kRgb, 12, 0, 0, false, kPlanesGbr), ""},
      {"gbrp14le", NameKind::kRaw, Planar(ColourFamily::kRgb, 14, 0, 0, false, kPlanesGbr), ""},
      {"gbrp16le", NameKind::kRaw, Planar(ColourFamily::kRgb, 16, 0, 0, false, kPlanesGbr), ""},
      {"gbrpf32le", NameKind::kRaw, Planar(ColourFamily::kRgb, 32, 0, 0, false, kPlanesGbr), ""},
      {"gbrap", NameKind::kRaw, Planar(ColourFamily::kRgb, 8, 0, 0, true, kPlanesGbr), ""},
      {"gbrap10le", NameKind::kRaw, Planar(ColourFamily::kRgb, 10, 0, 0, true, kPlanesGbr), ""},
      {"gbrap12le", NameKind::kRaw, Planar(ColourFamily::kRgb, 12, 0, 0, true, kPlanesGbr), ""},
      {"gbrap14le", NameKind::kRaw, Planar(ColourFamily::kRgb, 14, 0, 0, true, kPlanesGbr), ""},
      {"gbrap16le", NameKind::kRaw, Planar(ColourFamily::kRgb, 16, 0, 0, true, kPlanesGbr), ""},
      {"gbrapf32le", NameKind::kRaw, Planar(ColourFamily::kRgb, 32, 0, 0, true, kPlanesGbr), ""},
      {"bgr24", NameKind::kRaw, Packed(PackedLayout::kBgr24), ""},
      {"rgb24", NameKind::kRaw, Packed(PackedLayout::kRgb24), ""},
      {"bgra", NameKind::kRaw, Packed(PackedLayout::kBgra32), ""},
      {"rgba", NameKind::kRaw, Packed(PackedLayout::kRgba32), ""},
      {"argb", NameKind::kRaw, Packed(PackedLayout::kArgb32), ""},
      {"abgr", NameKind::kRaw, Packed(PackedLayout::kAbgr32), ""},
      {"bgr48le", NameKind::kRaw, Packed(PackedLayout::kBgr48), ""},
      {"rgb48le", NameKind::kRaw, Packed(PackedLayout::kRgb48), ""},
      {"bgra64le", NameKind::kRaw, Packed(PackedLayout::kBgra64), ""},
      {"rgba64le", NameKind::kRaw, Packed(PackedLayout::kRgba64), ""},
      {"yuyv422", NameKind::kRaw, Packed(PackedLayout::kYuyv), ""},
      {"uyvy422", NameKind::kRaw, Packed(PackedLayout::kUyvy), ""},
      // The classic names, meaning what they always have.
      {"yv12", NameKind::kAlias, Planar(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYvu), "Y, V, U planes"},
      {"i420", NameKind::kAlias, Planar(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYuv), "= yuv420p"},
      {"rgb32", NameKind::kAlias, Packed(PackedLayout::kBgra32), "= bgra"},
      {"yuy2", NameKind::kAlias, Packed(PackedLayout::kYuyv), "= yuyv422"},
      // Y4M colour spaces (the C tag), planes in Y, U, V (, A) order.
      {"mono", NameKind::kY4m, Planar(ColourFamily::kGray, 8, 0, 0, false, kPlanesYuv), ""},
      {"mono9", NameKind::kY4m, Planar(ColourFamily::kGray, 9, 0, 0, false, kPlanesYuv), ""},
      {"mono10", NameKind::kY4m, Planar(ColourFamily::kGray, 10, 0, 0, false, kPlanesYuv), ""},
      {"mono11", NameKind::kY4m, Planar(ColourFamily::kGray, 11, 0, 0, false, kPlanesYuv), ""},
      {"mono12", NameKind::kY4m, Planar(ColourFamily::kGray, 12, 0, 0, false, kPlanesYuv), ""},
      {"mono13", NameKind::kY4m, Planar(ColourFamily::kGray, 13, 0, 0, false, kPlanesYuv), ""},
      {"mono14", NameKind::kY4m, Planar(ColourFamily::kGray, 14, 0, 0, false, kPlanesYuv), ""},
      {"mono15", NameKind::kY4m, Planar(ColourFamily::kGray, 15, 0, 0, false, kPlanesYuv), ""},
      {"mono16", NameKind::kY4m, Planar(ColourFamily::kGray, 16, 0, 0, false, kPlanesYuv), ""},
      {"420jpeg", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYuv), ""},
      {"420paldv", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYuv), ""},
      {"420mpeg2", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYuv), ""},
      {"420", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 1, 1, false, kPlanesYuv), ""},
      {"422", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 1, 0, false, kPlanesYuv), ""},
      {"444", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 0, 0, false, kPlanesYuv), ""},
      {"411", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 2, 0, false, kPlanesYuv), ""},
      {"420p9", NameKind::kY4m, Planar(ColourFamily::kYuv, 9, 1, 1, false, kPlanesYuv), ""},
      {"420p10", NameKind::kY4m, Planar(ColourFamily::kYuv, 10, 1, 1, false, kPlanesYuv), ""},
      {"420p11", NameKind::kY4m, Planar(ColourFamily::kYuv, 11, 1, 1, false, kPlanesYuv), ""},
      {"420p12", NameKind::kY4m, Planar(ColourFamily::kYuv, 12, 1, 1, false, kPlanesYuv), ""},
      {"420p13", NameKind::kY4m, Planar(ColourFamily::kYuv, 13, 1, 1, false, kPlanesYuv), ""},
      {"420p14", NameKind::kY4m, Planar(ColourFamily::kYuv, 14, 1, 1, false, kPlanesYuv), ""},
      {"420p15", NameKind::kY4m, Planar(ColourFamily::kYuv, 15, 1, 1, false, kPlanesYuv), ""},
      {"420p16", NameKind::kY4m, Planar(ColourFamily::kYuv, 16, 1, 1, false, kPlanesYuv), ""},
      {"422p9", NameKind::kY4m, Planar(ColourFamily::kYuv, 9, 1, 0, false, kPlanesYuv), ""},
      {"422p10", NameKind::kY4m, Planar(ColourFamily::kYuv, 10, 1, 0, false, kPlanesYuv), ""},
      {"422p11", NameKind::kY4m, Planar(ColourFamily::kYuv, 11, 1, 0, false, kPlanesYuv), ""},
      {"422p12", NameKind::kY4m, Planar(ColourFamily::kYuv, 12, 1, 0, false, kPlanesYuv), ""},
      {"422p13", NameKind::kY4m, Planar(ColourFamily::kYuv, 13, 1, 0, false, kPlanesYuv), ""},
      {"422p14", NameKind::kY4m, Planar(ColourFamily::kYuv, 14, 1, 0, false, kPlanesYuv), ""},
      {"422p15", NameKind::kY4m, Planar(ColourFamily::kYuv, 15, 1, 0, false, kPlanesYuv), ""},
      {"422p16", NameKind::kY4m, Planar(ColourFamily::kYuv, 16, 1, 0, false, kPlanesYuv), ""},
      {"444p9", NameKind::kY4m, Planar(ColourFamily::kYuv, 9, 0, 0, false, kPlanesYuv), ""},
      {"444p10", NameKind::kY4m, Planar(ColourFamily::kYuv, 10, 0, 0, false, kPlanesYuv), ""},
      {"444p11", NameKind::kY4m, Planar(ColourFamily::kYuv, 11, 0, 0, false, kPlanesYuv), ""},
      {"444p12", NameKind::kY4m, Planar(ColourFamily::kYuv, 12, 0, 0, false, kPlanesYuv), ""},
      {"444p13", NameKind::kY4m, Planar(ColourFamily::kYuv, 13, 0, 0, false, kPlanesYuv), ""},
      {"444p14", NameKind::kY4m, Planar(ColourFamily::kYuv, 14, 0, 0, false, kPlanesYuv), ""},
      {"444p15", NameKind::kY4m, Planar(ColourFamily::kYuv, 15, 0, 0, false, kPlanesYuv), ""},
      {"444p16", NameKind::kY4m, Planar(ColourFamily::kYuv, 16, 0, 0, false, kPlanesYuv), ""},
      {"411p9", NameKind::kY4m, Planar(ColourFamily::kYuv, 9, 2, 0, false, kPlanesYuv), ""},
      {"411p10", NameKind::kY4m, Planar(ColourFamily::kYuv, 10, 2, 0, false, kPlanesYuv), ""},
      {"411p11", NameKind::kY4m, Planar(ColourFamily::kYuv, 11, 2, 0, false, kPlanesYuv), ""},
      {"411p12", NameKind::kY4m, Planar(ColourFamily::kYuv, 12, 2, 0, false, kPlanesYuv), ""},
      {"411p13", NameKind::kY4m, Planar(ColourFamily::kYuv, 13, 2, 0, false, kPlanesYuv), ""},
      {"411p14", NameKind::kY4m, Planar(ColourFamily::kYuv, 14, 2, 0, false, kPlanesYuv), ""},
      {"411p15", NameKind::kY4m, Planar(ColourFamily::kYuv, 15, 2, 0, false, kPlanesYuv), ""},
      {"411p16", NameKind::kY4m, Planar(ColourFamily::kYuv, 16, 2, 0, false, kPlanesYuv), ""},
      {"444alpha", NameKind::kY4m, Planar(ColourFamily::kYuv, 8, 0, 0, true, kPlanesYuv), ""},
  };
  for (FormatName& entry : table) entry.format.name = entry.name;
  return table;
}

const std::vector<FormatName>& Table() {
  static const std::vector<FormatName> table = MakeTable();
  return table;
}

constexpr std::pair<const char*, const char*> kFfmpegAliases[] = {{"gray8", "gray"}, {"y8", "gray"}, {"bgr32", "rgba"}};

}  // namespace

std::span<const FormatName> FormatNames() { return Table(); }

const FormatName* FindRawFormat(std::string_view name) {
  for (const FormatName& entry : Table()) {
    if (entry.kind != NameKind::kY4m && name == entry.name) return &entry;
  }
  // ffmpeg's other names for the same bytes on this (little-endian) machine: its aliases of gray,
  // bgr32 (red first, alpha last), and the native-endian names without "le".
  for (const auto& [alias, canonical] : kFfmpegAliases) {
    if (name == alias) return FindRawFormat(canonical);
  }
  if (!name.ends_with("le")) {
    const std::string littleEndian = std::string(name) + "le";
    for (const FormatName& entry : Table()) {
      if (entry.kind == NameKind::kRaw && littleEndian == entry.name) return &entry;
    }
  }
  return nullptr;
}

std::optional<std::string> LittleEndianNameFor(std::string_view name) {
  if (!name.ends_with("be")) return std::nullopt;
  const std::string littleEndian = std::string(name.substr(0, name.size() - 2)) + "le";
  if (FindRawFormat(littleEndian) == nullptr) return std::nullopt;
  return littleEndian;
}

const FormatName* FindY4mColourSpace(std::string_view tag) {
  for (const FormatName& entry : Table()) {
    if (entry.kind == NameKind::kY4m && tag == entry.name) return &entry;
  }
  return nullptr;
}

std::string RawFormatHelp() {
  std::string text = "Raw formats (--format NAME), as ffmpeg's -pix_fmt NAME:\n";
  std::string line;
  for (const FormatName& entry : Table()) {
    if (entry.kind != NameKind::kRaw) continue;
    if (line.size() + std::string_view(entry.name).size() > 96) {
      text += " " + line + "\n";
      line.clear();
    }
    line += " ";
    line += entry.name;
  }
  text += " " + line + "\n";
  text +=
      " Also, as ffmpeg reads them here: the names without \"le\" (yuv420p10 = yuv420p10le), gray8 and y8\n"
      " (= gray), bgr32 (= rgba). Big-endian (…be) samples are not read: ask ffmpeg for the …le format.\n";
  text += "Classic names:\n";
  for (const FormatName& entry : Table()) {
    if (entry.kind == NameKind::kAlias) text += fmt::format("  {:<6} {}\n", entry.name, entry.note);
  }
  text += "Y4M input needs no --format; its colour spaces:\n ";
  text += Y4mColourSpaceList();
  text += "\n";
  return text;
}

std::string Y4mColourSpaceList() {
  std::string list;
  for (const FormatName& entry : Table()) {
    if (entry.kind != NameKind::kY4m) continue;
    if (!list.empty()) list += ", ";
    list += "C";
    list += entry.name;
  }
  return list;
}

}  // namespace sorvan::cli
