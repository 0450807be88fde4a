// Every name the command knows a frame format by, in one table: ffmpeg's pixel-format names for
// raw input (so `-f rawvideo -pix_fmt NAME` and `--format NAME` always mean the same bytes), the
// classic names kept as aliases, and the Y4M colour-space tags, each mapped onto the core's
// description of the format.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/formats/video_format.h"

namespace sorvan::cli {

enum class NameKind { kRaw, kAlias, kY4m };

struct FormatName {
  const char* name;  // raw: the --format name; Y4M: the C tag's value ("420p10")
  NameKind kind;
  VideoFormat format;  // its name is `name`
  const char* note;    // for --format help; may be empty
};

std::span<const FormatName> FormatNames();

// A --format name: ffmpeg's (also its aliases gray8, y8, bgr32 and its native-endian names
// without "le", as ffmpeg on this little-endian machine reads them) or a classic alias; null
// when there is none of that name.
const FormatName* FindRawFormat(std::string_view name);
// For ffmpeg's big-endian name of a format read in little-endian order ("gray16be"), that
// name ("gray16le"); nullopt otherwise.
std::optional<std::string> LittleEndianNameFor(std::string_view name);
// A Y4M C tag's value; null when the tag is not one the command reads.
const FormatName* FindY4mColourSpace(std::string_view tag);

// The text of `--format help`.
std::string RawFormatHelp();
// The Y4M colour spaces, for the message refusing another.
std::string Y4mColourSpaceList();

}  // namespace sorvan::cli
