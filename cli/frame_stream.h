// Frame-by-frame reading and writing of Y4M streams and raw frames over byte streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cli/byte_io.h"
#include "cli/frame_format.h"

namespace sorvan::cli {

// Longest Y4M stream header or FRAME line accepted; real ones are well under 100 bytes.
inline constexpr size_t kMaxY4mLine = 4096;

class FrameReader {
 public:
  virtual ~FrameReader() = default;
  // Reads the next frame into `frame` (resized to the frame's bytes). Returns false at a clean
  // end of the stream; throws CommandError for a frame that is cut short or malformed, naming
  // the frame (counted from 0).
  virtual bool Next(std::vector<uint8_t>& frame) = 0;
};

// Part of a frame's bytes; a frame may be written from several buffers.
struct BytePiece {
  const uint8_t* data;
  size_t size;
};

class FrameWriter {
 public:
  virtual ~FrameWriter() = default;
  // Writes one frame made of `pieces`, in order.
  virtual void WritePieces(std::span<const BytePiece> pieces) = 0;
  void Write(const uint8_t* frame, size_t bytes) {
    const BytePiece whole{frame, bytes};
    WritePieces({&whole, 1});
  }
};

struct Y4mHeader {
  std::string line;         // the header line to write out, newline included (see ReadY4mHeader)
  std::string colourSpace;  // the C tag's value (or the one XYSCSS gave), or empty when there is none
  FrameFormat format;       // from the C tag (8-bit 4:2:0 without one)
};

// Reads and checks a Y4M stream header from the start of `source`, as ffmpeg reads it: a CRLF
// line end, no C tag but XYSCSS=… (the C tag is then added), F and A tags that are not two
// positive integers (mended to F25:1 and A0:0, as ffmpeg takes them). The line is written out
// as it came otherwise, its tags separated by single spaces. Refuses colour spaces it does not
// know by name, I tags ffmpeg refuses, and sizes that are empty or exceed the caps, before
// anything is allocated for a frame.
Y4mHeader ReadY4mHeader(ByteSource& source);

class Y4mReader final : public FrameReader {
 public:
  // Reads the stream header; see ReadY4mHeader.
  explicit Y4mReader(ByteSource& source);
  const Y4mHeader& header() const { return header_; }
  bool Next(std::vector<uint8_t>& frame) override;

 private:
  ByteSource& source_;
  Y4mHeader header_;
  int64_t frameNumber_ = 0;
};

class RawReader final : public FrameReader {
 public:
  // Frames of `frameBytes` bytes each, back to back.
  RawReader(ByteSource& source, size_t frameBytes);
  bool Next(std::vector<uint8_t>& frame) override;

 private:
  ByteSource& source_;
  size_t frameBytes_;
  int64_t frameNumber_ = 0;
};

class Y4mWriter final : public FrameWriter {
 public:
  // Writes the stream header line at once, so a stream of no frames is still a valid stream.
  Y4mWriter(ByteSink& sink, const std::string& headerLine);
  void WritePieces(std::span<const BytePiece> pieces) override;

 private:
  ByteSink& sink_;
};

class RawWriter final : public FrameWriter {
 public:
  explicit RawWriter(ByteSink& sink) : sink_(sink) {}
  void WritePieces(std::span<const BytePiece> pieces) override {
    for (const BytePiece& piece : pieces) sink_.Write(piece.data, piece.size);
  }

 private:
  ByteSink& sink_;
};

// Gives back bytes already taken from `inner` (to look for the Y4M signature) before the rest.
class ReplaySource final : public ByteSource {
 public:
  ReplaySource(std::vector<uint8_t> prefix, ByteSource& inner) : prefix_(std::move(prefix)), inner_(inner) {}
  size_t ReadSome(uint8_t* dst, size_t count) override;

 private:
  std::vector<uint8_t> prefix_;
  size_t offset_ = 0;
  ByteSource& inner_;
};

inline constexpr char kY4mSignature[] = "YUV4MPEG2";

}  // namespace sorvan::cli
