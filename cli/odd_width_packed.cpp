#include "cli/odd_width_packed.h"

#include "cli/format_names.h"

namespace sorvan::cli {
namespace {

size_t StoredRowBytes(const FrameFormat& packed) { return (static_cast<size_t>(packed.width) + 1) / 2 * 4; }

// Byte of sample x of channel c in a stored row.
size_t StoredSample(const VideoFormat& packed, int32_t c, int32_t x) {
  const ChannelPlacement& p = packed.channels[c];
  return static_cast<size_t>(p.offset) + static_cast<size_t>(x) * static_cast<size_t>(p.step);
}

// Copies every sample between the stored packed frame and the planar one, one way or the other.
template <bool kToPlanar>
void Convert(const FrameFormat& packed, uint8_t* stored, uint8_t* planar) {
  const auto planes = FramePlanes(PlanarOf(packed));
  const size_t rowBytes = StoredRowBytes(packed);
  for (int32_t y = 0; y < packed.height; ++y) {
    uint8_t* row = stored + static_cast<size_t>(y) * rowBytes;
    for (int32_t c = 0; c < 3; ++c) {
      uint8_t* plane = planar + planes[c].offset + static_cast<size_t>(y) * planes[c].rowBytes;
      for (int32_t x = 0; x < planes[c].width; ++x) {
        uint8_t& at = row[StoredSample(packed.video, c, x)];
        if constexpr (kToPlanar) {
          plane[x] = at;
        } else {
          at = plane[x];
        }
      }
    }
    if constexpr (!kToPlanar) {
      row[StoredSample(packed.video, 0, packed.width)] = row[StoredSample(packed.video, 0, packed.width - 1)];
    }
  }
}

}  // namespace

bool IsOddWidthPacked(const FrameFormat& format) {
  return IsPacked(format.video) && format.video.family == ColourFamily::kYuv && format.width % 2 != 0;
}

FrameFormat PlanarOf(const FrameFormat& packed) {
  return {FindRawFormat("yuv422p")->format, packed.width, packed.height};
}

size_t StoredFrameBytes(const FrameFormat& format) {
  if (!IsOddWidthPacked(format)) return FrameBytes(format);
  return StoredRowBytes(format) * static_cast<size_t>(format.height);
}

OddWidthPackedReader::OddWidthPackedReader(ByteSource& source, const FrameFormat& packed)
    : packed_(packed), raw_(source, StoredFrameBytes(packed)) {}

bool OddWidthPackedReader::Next(std::vector<uint8_t>& frame) {
  if (!raw_.Next(stored_)) return false;
  frame.resize(FrameBytes(PlanarOf(packed_)));
  Convert<true>(packed_, stored_.data(), frame.data());
  return true;
}

void OddWidthPackedWriter::WritePieces(std::span<const BytePiece> pieces) {
  planar_.clear();
  for (const BytePiece& piece : pieces) planar_.insert(planar_.end(), piece.data, piece.data + piece.size);
  stored_.resize(StoredFrameBytes(packed_));
  Convert<false>(packed_, stored_.data(), planar_.data());
  sink_.Write(stored_.data(), stored_.size());
}

}  // namespace sorvan::cli
