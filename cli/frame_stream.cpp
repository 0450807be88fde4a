#include "cli/frame_stream.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "cli/command_error.h"
#include "cli/format_names.h"

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

// Printable form of header bytes for messages: control and non-ASCII bytes become escapes.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text.substr(0, 64)) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f) {
      out.push_back(c);
    } else {
      out += fmt::format("\\x{:02x}", u);
    }
  }
  if (text.size() > 64) out += "...";
  return out;
}

}  // namespace

Y4mHeader ReadY4mHeader(ByteSource& source) {
  Y4mHeader header;
  if (!ReadLineRest(source, header.line, kMaxY4mLine, "the Y4M header line")) {
    throw CommandError("input ends inside the Y4M header line");
  }
  const std::string_view line(header.line.data(), header.line.size() - 1);  // without '\n'
  const std::string_view signature = kY4mSignature;
  if (line.substr(0, signature.size()) != signature ||
      (line.size() > signature.size() && line[signature.size()] != ' ')) {
    throw CommandError("input does not begin with a Y4M header (YUV4MPEG2)");
  }
  int64_t width = -1;
  int64_t height = -1;
  bool haveColour = false;
  size_t pos = signature.size();
  while (pos < line.size()) {
    const size_t end = std::min(line.find(' ', pos), line.size());
    const std::string_view token = line.substr(pos, end - pos);
    pos = end + 1;
    if (token.empty()) continue;
    const std::string_view value = token.substr(1);
    switch (token[0]) {
      case 'W':
        if (!ParseSize(value, width))
          throw CommandError(fmt::format("Y4M header has a bad width '{}'", Printable(token)));
        break;
      case 'H':
        if (!ParseSize(value, height))
          throw CommandError(fmt::format("Y4M header has a bad height '{}'", Printable(token)));
        break;
      case 'C':
        header.colourSpace = std::string(value);
        haveColour = true;
        break;
      default: break;  // frame rate, interlacing, aspect, comments: kept in the line as they are
    }
  }
  if (width < 0) throw CommandError("Y4M header has no width (W tag)");
  if (height < 0) throw CommandError("Y4M header has no height (H tag)");

  // A stream without a C tag is 8-bit 4:2:0.
  const FormatName* colour = FindY4mColourSpace(haveColour ? std::string_view(header.colourSpace) : "420jpeg");
  if (colour == nullptr) {
    throw CommandError(
        fmt::format("Y4M colour space 'C{}' is not supported (sorvan --format help lists the colour spaces it reads)",
                    Printable(header.colourSpace)));
  }
  // Caps first, before any frame buffer exists.
  const auto clamp = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX)); };
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
    throw CommandError(fmt::format(
        "Y4M header asks for {}x{} frames; sorvan accepts at most {} on a side and {} pixels per frame (refused before "
        "reading any frame)",
        width, height, kMaxSide, kMaxPixels));
  }
  header.format = {colour->format, clamp(width), clamp(height)};
  CheckFrameSize(header.format, "the Y4M header");
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
  if (rest[0] != '\n' && rest[0] != ' ') {
    throw CommandError(fmt::format("frame {} (counting from 0) does not begin with a FRAME line (found 'FRAME{}')",
                                   frameNumber_, Printable(rest)));
  }
  ReadFrameBody(source_, frame, FrameBytes(header_.format), frameNumber_, false);
  ++frameNumber_;
  return true;
}

RawReader::RawReader(ByteSource& source, const FrameFormat& format)
    : source_(source), frameBytes_(FrameBytes(format)) {}

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
