#include "cli/frame_stream.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <optional>
#include <string_view>

#include "cli/command_error.h"
#include "cli/format_names.h"
#include "cli/shown_text.h"

namespace sorvan::cli {
namespace {

// Frames are read in pieces of this size, and the buffer is filled only as the bytes arrive, so
// a header that promises a large frame over a short stream costs no more memory than the stream.
constexpr size_t kReadChunk = size_t{4} << 20;

// Reads one frame body of `bytes` bytes. Returns false when the stream ended before its first
// byte and `endAllowed` is set; otherwise a short body is an error naming the frame.
bool ReadFrameBody(ByteSource& source, std::vector<uint8_t>& frame, size_t bytes, int64_t frameNumber,
                   bool endAllowed) {
  // The whole frame is reserved at once, so the buffer never moves (nor exists twice) while it
  // grows; a reservation this large is address space only, and pages are committed as the bytes
  // arrive.
  if (frame.capacity() < bytes) {
    std::vector<uint8_t>().swap(frame);
    frame.reserve(bytes);
  }
  size_t done = 0;
  while (done < bytes) {
    const size_t want = std::min(bytes - done, kReadChunk);
    if (frame.size() < done + want) frame.resize(done + want);
    const size_t got = ReadFully(source, frame.data() + done, want);
    done += got;
    if (got < want) {
      if (done == 0 && endAllowed) return false;
      throw CommandError(fmt::format("input ends inside frame {} (counting from 0): {} of {} bytes missing",
                                     frameNumber, bytes - done, bytes));
    }
  }
  frame.resize(bytes);
  return true;
}

// Reads the rest of a line up to and including '\n'. Returns false when the stream ends first.
bool ReadLineRest(ByteSource& source, std::string& line, size_t limit, const char* what) {
  uint8_t c = 0;
  while (ReadFully(source, &c, 1) == 1) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') return true;
    if (line.size() >= limit) throw CommandError(fmt::format("{} is longer than {} bytes", what, limit));
  }
  return false;
}

// A decimal size field; values beyond any cap saturate so the caller's cap check reports them.
bool ParseSize(std::string_view digits, int64_t& value) {
  if (digits.empty()) return false;
  value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{1} << 40);
  }
  return true;
}

// Header text in messages: escaped, and cut short.
std::string Printable(std::string_view text) { return Shown(text, 64); }

// "N:D" as ffmpeg reads F and A tags (two decimal integers of 32 bits, anything after them
// ignored); `whole` tells whether nothing followed.
struct Ratio {
  int64_t n = 0;
  int64_t d = 0;
  bool whole = false;
};
std::optional<Ratio> ScanRatio(std::string_view text) {
  const auto number = [&text](int64_t& value) {
    size_t i = 0;
    const bool negative = i < text.size() && (text[i] == '-' || text[i] == '+') && text[i++] == '-';
    const size_t digits = i;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value <= INT32_MAX) {
      value = value * 10 + (text[i++] - '0');
    }
    if (i == digits || value > INT32_MAX) return false;
    if (negative) value = -value;
    text.remove_prefix(i);
    return true;
  };
  Ratio r;
  if (!number(r.n) || text.empty() || text[0] != ':') return std::nullopt;
  text.remove_prefix(1);
  if (!number(r.d)) return std::nullopt;
  r.whole = text.empty();
  return r;
}

// An F or A tag as ffmpeg reads it: anything but two positive integers is `otherwise` (25:1 for
// the rate, 0:0, unknown, for the aspect); a tag with more after them is written without it.
std::string RatioTag(std::string_view token, const char* otherwise) {
  const std::optional<Ratio> r = ScanRatio(token.substr(1));
  if (!r || r->n <= 0 || r->d <= 0) return fmt::format("{}{}", token[0], otherwise);
  return r->whole ? std::string(token) : fmt::format("{}{}:{}", token[0], r->n, r->d);
}

// The I tag as ffmpeg reads it, by its first letter; it refuses mixed (Im) and unknown letters.
std::string InterlacingTag(std::string_view token) {
  const char mode = token.size() > 1 ? token[1] : '\0';
  if (mode == 'p' || mode == 't' || mode == 'b' || mode == '?') return std::string{'I', mode};
  if (mode == 'm') {
    throw CommandError("Y4M header tag 'Im' (frames of mixed interlacing) is not supported; ffmpeg refuses it too");
  }
  throw CommandError(
      fmt::format("Y4M header has a bad interlacing tag '{}' (Ip, It, Ib and I? are read)", Printable(token)));
}

// The colour space of a header with no C tag but the older XYSCSS=… tag, as ffmpeg 5.1 reads it:
// the first of these names the value begins with; none, 4:2:0.
constexpr std::pair<const char*, const char*> kYscssNames[] = {
    {"420JPEG", "420jpeg"}, {"420MPEG2", "420mpeg2"}, {"420PALDV", "420paldv"}, {"420P9", "420p9"},
    {"422P9", "422p9"},     {"444P9", "444p9"},       {"420P10", "420p10"},     {"444P10", "444p10"},
    {"420P12", "420p12"},   {"422P12", "422p12"},     {"444P12", "444p12"},     {"420P14", "420p14"},
    {"422P14", "422p14"},   {"444P14", "444p14"},     {"420P16", "420p16"},     {"422P16", "422p16"},
    {"444P16", "444p16"},   {"411", "411"},           {"422", "422"},           {"444", "444"}};

// Null when the value names nothing ffmpeg reads (the stream is then 4:2:0, as without any tag).
// A value that names one colour space and is read as another (422P10, read as 8-bit 4:2:2) is
// refused rather than misread.
const FormatName* YscssColourSpace(std::string_view value) {
  const FormatName* read = nullptr;
  for (const auto& [prefix, name] : kYscssNames) {
    if (value.substr(0, std::string_view(prefix).size()) == prefix) {
      read = FindY4mColourSpace(name);
      break;
    }
  }
  std::string lower(value);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const FormatName* named = FindY4mColourSpace(lower);
  if (named != nullptr && named != read) {
    throw CommandError(fmt::format(
        "Y4M header has no C tag, and XYSCSS={} names a colour space that ffmpeg reads as C{}; give the C tag "
        "(C{} or what the stream really holds)",
        Printable(value), read != nullptr ? read->name : "420jpeg", named->name));
  }
  return read;
}

}  // namespace

Y4mHeader ReadY4mHeader(ByteSource& source) {
  Y4mHeader header;
  std::string raw;
  if (!ReadLineRest(source, raw, kMaxY4mLine, "the Y4M header line")) {
    throw CommandError("input ends inside the Y4M header line");
  }
  std::string_view line(raw.data(), raw.size() - 1);  // without '\n'
  // A CRLF line end, which ffmpeg reads, and spaces before the end are not part of the last tag.
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  const std::string_view signature = kY4mSignature;
  if (line.substr(0, signature.size()) != signature ||
      (line.size() > signature.size() && line[signature.size()] != ' ')) {
    throw CommandError("input does not begin with a Y4M header (YUV4MPEG2)");
  }
  // The tags as they are written out: mended where ffmpeg reads them mended.
  std::vector<std::string> tags;
  int64_t width = -1;
  int64_t height = -1;
  std::string sizeTags;
  std::optional<std::string_view> colour;
  std::optional<std::string_view> yscss;
  size_t yscssAt = 0;
  size_t pos = signature.size();
  while (pos < line.size()) {
    const size_t end = std::min(line.find(' ', pos), line.size());
    const std::string_view token = line.substr(pos, end - pos);
    pos = end + 1;
    if (token.empty()) continue;
    const std::string_view value = token.substr(1);
    std::string tag(token);
    switch (token[0]) {
      case 'W':
      case 'H':
        if (!ParseSize(value, token[0] == 'W' ? width : height)) {
          throw CommandError(
              fmt::format("Y4M header has a bad {} '{}'", token[0] == 'W' ? "width" : "height", Printable(token)));
        }
        sizeTags += (sizeTags.empty() ? "" : " ") + Printable(token);
        break;
      case 'C': colour = value; break;
      case 'I': tag = InterlacingTag(token); break;
      case 'F': tag = RatioTag(token, "25:1"); break;
      case 'A': tag = RatioTag(token, "0:0"); break;
      case 'X':
        if (value.substr(0, 6) == "YSCSS=") {
          yscss = value.substr(6);
          yscssAt = tags.size();
        }
        break;
      default: break;  // other tags: kept as they are
    }
    tags.push_back(std::move(tag));
  }
  if (width < 0) throw CommandError("Y4M header has no width (W tag)");
  if (height < 0) throw CommandError("Y4M header has no height (H tag)");

  const FormatName* colourSpace = nullptr;
  if (colour) {
    colourSpace = FindY4mColourSpace(*colour);
    if (colourSpace == nullptr) {
      throw CommandError(
          fmt::format("Y4M colour space 'C{}' is not supported (sorvan --format help lists the colour spaces it reads)",
                      Printable(*colour)));
    }
    header.colourSpace = std::string(*colour);
  } else if (yscss && (colourSpace = YscssColourSpace(*yscss)) != nullptr) {
    // Written out with the C tag, which every reader knows.
    tags.insert(tags.begin() + static_cast<ptrdiff_t>(yscssAt), std::string("C") + colourSpace->name);
    header.colourSpace = colourSpace->name;
  } else {
    colourSpace = FindY4mColourSpace("420jpeg");  // no C tag: 8-bit 4:2:0
  }
  CheckFrameSize(width, height, fmt::format("the Y4M header ({})", sizeTags));
  header.format = {colourSpace->format, static_cast<int32_t>(width), static_cast<int32_t>(height)};

  header.line = signature;
  for (const std::string& tag : tags) header.line += " " + tag;
  header.line += '\n';
  if (header.line.size() > kMaxY4mLine) {
    throw CommandError(fmt::format("the Y4M header line is longer than {} bytes", kMaxY4mLine));
  }
  return header;
}

Y4mReader::Y4mReader(ByteSource& source) : source_(source), header_(ReadY4mHeader(source)) {}

bool Y4mReader::Next(std::vector<uint8_t>& frame) {
  static constexpr std::string_view kFrameTag = "FRAME";
  char tag[5] = {};
  const size_t got = ReadFully(source_, reinterpret_cast<uint8_t*>(tag), sizeof tag);
  if (got == 0) return false;
  const std::string_view seen(tag, got);
  if (seen != kFrameTag.substr(0, got)) {
    throw CommandError(fmt::format("frame {} (counting from 0) does not begin with a FRAME line (found '{}')",
                                   frameNumber_, Printable(seen)));
  }
  if (got < sizeof tag) {
    throw CommandError(fmt::format("input ends inside the FRAME line of frame {} (counting from 0)", frameNumber_));
  }
  std::string rest;
  if (!ReadLineRest(source_, rest, kMaxY4mLine, "a FRAME line")) {
    throw CommandError(fmt::format("input ends inside the FRAME line of frame {} (counting from 0)", frameNumber_));
  }
  if (rest[0] != '\n' && rest[0] != ' ' && rest != "\r\n") {
    throw CommandError(fmt::format("frame {} (counting from 0) does not begin with a FRAME line (found 'FRAME{}')",
                                   frameNumber_, Printable(rest)));
  }
  ReadFrameBody(source_, frame, FrameBytes(header_.format), frameNumber_, false);
  ++frameNumber_;
  return true;
}

RawReader::RawReader(ByteSource& source, size_t frameBytes) : source_(source), frameBytes_(frameBytes) {}

bool RawReader::Next(std::vector<uint8_t>& frame) {
  if (!ReadFrameBody(source_, frame, frameBytes_, frameNumber_, true)) return false;
  ++frameNumber_;
  return true;
}

Y4mWriter::Y4mWriter(ByteSink& sink, const std::string& headerLine) : sink_(sink) {
  sink_.Write(reinterpret_cast<const uint8_t*>(headerLine.data()), headerLine.size());
}

void Y4mWriter::WritePieces(std::span<const BytePiece> pieces) {
  static constexpr uint8_t kFrameLine[] = {'F', 'R', 'A', 'M', 'E', '\n'};
  sink_.Write(kFrameLine, sizeof kFrameLine);
  for (const BytePiece& piece : pieces) sink_.Write(piece.data, piece.size);
}

size_t ReplaySource::ReadSome(uint8_t* dst, size_t count) {
  if (offset_ < prefix_.size()) {
    const size_t n = std::min(count, prefix_.size() - offset_);
    std::memcpy(dst, prefix_.data() + offset_, n);
    offset_ += n;
    return n;
  }
  return inner_.ReadSome(dst, count);
}

}  // namespace sorvan::cli
