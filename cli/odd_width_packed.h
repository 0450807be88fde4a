// Packed 4:2:2 frames (yuyv422, uyvy422) of odd width, as ffmpeg stores them: each row holds
// (width + 1) / 2 pixel pairs, and the last pair's second luma sample is padding (ffmpeg writes
// a copy of the sample before it and never reads it). The core takes packed 4:2:2 of even width
// only, so these frames are filtered as planar 4:2:2 of the same width, which has the very same
// samples (chroma rounded up): read into that form, and written back packed, the padding again
// a copy of the last luma sample.
#pragma once

#include <vector>

#include "cli/frame_stream.h"

namespace sorvan::cli {

// Whether frames of `format` are packed 4:2:2 of odd width.
bool IsOddWidthPacked(const FrameFormat& format);

// The planar 8-bit 4:2:2 format of the same size, which the frames are filtered in.
FrameFormat PlanarOf(const FrameFormat& packed);

// Bytes a frame of `format` takes in a raw stream.
size_t StoredFrameBytes(const FrameFormat& format);

class OddWidthPackedReader final : public FrameReader {
 public:
  OddWidthPackedReader(ByteSource& source, const FrameFormat& packed);
  bool Next(std::vector<uint8_t>& frame) override;  // planar

 private:
  FrameFormat packed_;
  RawReader raw_;
  std::vector<uint8_t> stored_;
};

class OddWidthPackedWriter final : public FrameWriter {
 public:
  OddWidthPackedWriter(ByteSink& sink, const FrameFormat& packed) : packed_(packed), sink_(sink) {}
  void WritePieces(std::span<const BytePiece> pieces) override;  // of a planar frame

 private:
  FrameFormat packed_;
  ByteSink& sink_;
  std::vector<uint8_t> planar_;
  std::vector<uint8_t> stored_;
};

}  // namespace sorvan::cli
