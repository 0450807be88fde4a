#include "hosts/frameserver/memory_clip.h"

#include "plugin/classic/classic_formats.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "hosts/frameserver/frame_server.h"

namespace sorvan::frameserver {
namespace {

// Bytes of one audio sample of one channel, by the interface's sample-type flags.
int BytesPerChannelSample(int sampleType) {
  switch (sampleType) {
    case 1: return 1;   // 8-bit
    case 2: return 2;   // 16-bit
    case 4: return 3;   // 24-bit
    case 8: return 4;   // 32-bit
    case 16: return 4;  // float
    default: return 0;
  }
}

PClip Adopt(MemoryClip* clip) {
  if (clip == nullptr) throw std::bad_alloc();
  return PClip(clip);
}

}  // namespace

VideoInfo MakeVideoInfo(int pixelType, int width, int height, int numFrames, unsigned fps) {
  VideoInfo vi{};
  vi.width = width;
  vi.height = height;
  vi.fps_numerator = fps;
  vi.fps_denominator = 1;
  vi.num_frames = numFrames;
  vi.pixel_type = pixelType;
  return vi;
}

bool StoresVBeforeU(const VideoInfo& vi) {
  VideoFormat format{};
  return ClassicFormat(vi.pixel_type, &format) && format.planeCount == 3 && format.channels[2].plane == 1;
}

std::vector<PackedPlane> PackedPlanes(const VideoInfo& vi) {
  if (vi.BitsPerPixel() == 0 || vi.width <= 0 || vi.height <= 0) return {};
  const int rowSize = vi.RowSize();
  if (!vi.IsPlanar()) return {{PLANAR_Y, rowSize, vi.height}};
  const int chromaRow = rowSize >> 1;
  const int chromaHeight = vi.height >> 1;
  const int second = StoresVBeforeU(vi) ? PLANAR_V : PLANAR_U;
  const int third = second == PLANAR_V ? PLANAR_U : PLANAR_V;
  return {{PLANAR_Y, rowSize, vi.height}, {second, chromaRow, chromaHeight}, {third, chromaRow, chromaHeight}};
}

size_t PackedFrameSize(const VideoInfo& vi) {
  size_t size = 0;
  for (const PackedPlane& p : PackedPlanes(vi)) size += static_cast<size_t>(p.rowSize) * static_cast<size_t>(p.height);
  return size;
}

void WritePacked(std::span<const uint8_t> packed, const PVideoFrame& frame, const VideoInfo& vi) {
  if (packed.size() != PackedFrameSize(vi)) throw ScriptError("WritePacked: buffer size does not match the frame");
  const uint8_t* from = packed.data();
  for (const PackedPlane& p : PackedPlanes(vi)) {
    uint8_t* to = frame->GetWritePtr(p.plane);
    if (to == nullptr) throw ScriptError("WritePacked: frame is not writable");
    for (int y = 0; y < p.height; ++y) {
      memcpy(to + static_cast<ptrdiff_t>(y) * frame->GetPitch(p.plane), from, static_cast<size_t>(p.rowSize));
      from += p.rowSize;
    }
  }
}

std::vector<uint8_t> ReadPacked(const PVideoFrame& frame, const VideoInfo& vi) {
  std::vector<uint8_t> packed(PackedFrameSize(vi));
  ReadPacked(frame, vi, packed);
  return packed;
}

void ReadPacked(const PVideoFrame& frame, const VideoInfo& vi, std::span<uint8_t> packed) {
  if (packed.size() != PackedFrameSize(vi)) throw ScriptError("ReadPacked: buffer size does not match the frame");
  uint8_t* to = packed.data();
  for (const PackedPlane& p : PackedPlanes(vi)) {
    const uint8_t* from = frame->GetReadPtr(p.plane);
    for (int y = 0; y < p.height; ++y) {
      memcpy(to, from + static_cast<ptrdiff_t>(y) * frame->GetPitch(p.plane), static_cast<size_t>(p.rowSize));
      to += p.rowSize;
    }
  }
}

MemoryClip::MemoryClip(const VideoInfo& vi, FrameGenerator generator, PackedFrameSource source, ParityFunction parity,
                       AudioFunction audio)
    : vi_(vi),
      generator_(std::move(generator)),
      source_(std::move(source)),
      parity_(std::move(parity)),
      audio_(std::move(audio)) {}

PClip MemoryClip::FromGenerator(const VideoInfo& vi, FrameGenerator generator, ParityFunction parity,
                                AudioFunction audio) {
  if (!generator) throw ScriptError("MemoryClip: no frame generator");
  return Adopt(new MemoryClip(vi, std::move(generator), {}, std::move(parity), std::move(audio)));
}

PClip MemoryClip::FromFrames(const VideoInfo& vi, std::vector<std::vector<uint8_t>> frames, ParityFunction parity,
                             AudioFunction audio) {
  const size_t expected = PackedFrameSize(vi);
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].size() != expected) {
      throw ScriptError("MemoryClip: frame " + std::to_string(i) + " has " + std::to_string(frames[i].size()) +
                        " bytes, the format needs " + std::to_string(expected));
    }
  }
  VideoInfo info = vi;
  info.num_frames = static_cast<int>(frames.size());
  auto shared = std::make_shared<const std::vector<std::vector<uint8_t>>>(std::move(frames));
  PackedFrameSource source = [shared](int n) { return std::span<const uint8_t>((*shared)[static_cast<size_t>(n)]); };
  return Adopt(new MemoryClip(info, {}, std::move(source), std::move(parity), std::move(audio)));
}

PVideoFrame SORVAN_STDCALL MemoryClip::GetFrame(int n, IScriptEnvironment* env) {
  const int frameNumber = std::clamp(n, 0, std::max(vi_.num_frames - 1, 0));
  PVideoFrame frame = env->NewVideoFrame(vi_);
  if (source_) {
    if (vi_.num_frames > 0) {
      WritePacked(source_(frameNumber), frame, vi_);
    } else {
      WritePacked(std::vector<uint8_t>(PackedFrameSize(vi_)), frame, vi_);
    }
    return frame;
  }
  std::vector<uint8_t> packed(PackedFrameSize(vi_));
  if (vi_.num_frames > 0) generator_(frameNumber, packed);
  WritePacked(packed, frame, vi_);
  return frame;
}

bool SORVAN_STDCALL MemoryClip::GetParity(int n) { return parity_ ? parity_(n) : false; }

void SORVAN_STDCALL MemoryClip::GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment*) {
  if (audio_) {
    audio_(buf, start, count);
  } else if (count > 0) {
    memset(buf, 0,
           static_cast<size_t>(count) * static_cast<size_t>(vi_.nchannels) *
               static_cast<size_t>(BytesPerChannelSample(vi_.sample_type)));
  }
}

void SORVAN_STDCALL MemoryClip::SetCacheHints(int, int) {}

const VideoInfo& SORVAN_STDCALL MemoryClip::GetVideoInfo() { return vi_; }

}  // namespace sorvan::frameserver
