// An in-memory source clip to feed filters, and helpers to move whole frames between host frames
// and "packed" byte buffers.
//
// A packed frame holds the planes in their storage order (YV12: Y, V, U; I420: Y, U, V; packed
// RGB and YUY2: the one image), each row exactly its row size with no padding, rows top to
// bottom as the host stores them. That is also the layout of a raw video file of that format.
//
// How to use it:
//   VideoInfo vi = sorvan::frameserver::MakeVideoInfo(CS_YV12, 720, 576, 25);
//   PClip a = sorvan::frameserver::MemoryClip::FromFrames(vi, {frame0, frame1});  // packed bytes
//   PClip b = sorvan::frameserver::MemoryClip::FromGenerator(vi, [](int n, std::span<uint8_t> packed) {
//     ... fill packed (PackedFrameSize(vi) bytes) for frame n ...
//   });
//   std::vector<uint8_t> out = sorvan::frameserver::ReadPacked(clip->GetFrame(n, &server), vi);
// Frame numbers outside the clip are clamped to its first or last frame. GetFrame may run on
// several threads at once when the generator may (buffers are only read).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "plugin/classic/classic_interface.h"

namespace sorvan::frameserver {

// A VideoInfo with video only: size, pixel type, frame count and a rate of fps/1.
VideoInfo MakeVideoInfo(int pixelType, int width, int height, int numFrames, unsigned fps = 25);

// One plane of a packed frame, in storage order.
struct PackedPlane {
  int plane;    // PLANAR_Y, PLANAR_U or PLANAR_V (PLANAR_Y also for the single packed image)
  int rowSize;  // bytes per row
  int height;   // rows
};
std::vector<PackedPlane> PackedPlanes(const VideoInfo& vi);

// True when the V plane is stored before the U plane (YV12), as the plug-in's format table says.
bool StoresVBeforeU(const VideoInfo& vi);
size_t PackedFrameSize(const VideoInfo& vi);

// Copies a packed frame into a frame of the same VideoInfo (its first plane must be writable).
void WritePacked(std::span<const uint8_t> packed, const PVideoFrame& frame, const VideoInfo& vi);
// Copies a frame out into packed form.
std::vector<uint8_t> ReadPacked(const PVideoFrame& frame, const VideoInfo& vi);
// The same into a caller's buffer of exactly PackedFrameSize(vi) bytes (ScriptError otherwise),
// for callers that reuse one buffer for every frame.
void ReadPacked(const PVideoFrame& frame, const VideoInfo& vi, std::span<uint8_t> packed);

class MemoryClip final : public IClip {
 public:
  using FrameGenerator = std::function<void(int frameNumber, std::span<uint8_t> packed)>;
  // Points at packed frame n, which stays valid until GetFrame has copied it into the frame.
  using PackedFrameSource = std::function<std::span<const uint8_t>(int frameNumber)>;
  using ParityFunction = std::function<bool(int frameNumber)>;
  // Fills count samples (of all channels) starting at sample `start` into buf.
  using AudioFunction = std::function<void(void* buf, int64_t start, int64_t count)>;

  // A clip whose frame n is what the generator writes for n.
  static PClip FromGenerator(const VideoInfo& vi, FrameGenerator generator, ParityFunction parity = {},
                             AudioFunction audio = {});
  // A clip of the given packed frames; vi.num_frames becomes their count. Throws ScriptError
  // when a buffer's size differs from PackedFrameSize(vi).
  static PClip FromFrames(const VideoInfo& vi, std::vector<std::vector<uint8_t>> frames, ParityFunction parity = {},
                          AudioFunction audio = {});

  // Without a parity function every frame is bottom field first (false); without an audio
  // function GetAudio writes silence (zero bytes).
  PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) override;
  bool SORVAN_STDCALL GetParity(int n) override;
  void SORVAN_STDCALL GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) override;
  void SORVAN_STDCALL SetCacheHints(int cachehints, int frame_range) override;
  const VideoInfo& SORVAN_STDCALL GetVideoInfo() override;

 private:
  // Exactly one of generator and source is set.
  MemoryClip(const VideoInfo& vi, FrameGenerator generator, PackedFrameSource source, ParityFunction parity,
             AudioFunction audio);
  VideoInfo vi_;
  FrameGenerator generator_;
  PackedFrameSource source_;
  ParityFunction parity_;
  AudioFunction audio_;
};

}  // namespace sorvan::frameserver
