#include "plugin/classic/sorvan_filter.h"

namespace sorvan {
namespace {

// The host's BitBlt as the core's plane copy; the context is the environment of this request.
void HostBitBlt(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
                int32_t height) {
  static_cast<IScriptEnvironment*>(context)->BitBlt(dst, dstPitch, src, srcPitch, rowSize, height);
}

// The frame's planes in the format's memory order: the host's accessors name planes Y, U, V,
// the format says where U and V sit. Packed frames have the one plane. Sizes are the host's.
template <typename Byte, typename Pointer>
BasicFrameView<Byte> Planes(const VideoFrame& frame, const VideoFormat& format, Pointer pointer) {
  BasicFrameView<Byte> view{};
  view.planes[0] = {pointer(frame, 0), frame.GetPitch(), frame.GetRowSize(), frame.GetHeight()};
  if (format.planeCount == 1) {
    // Packed: the row size counts bytes, the core wants pixels.
    view.planes[0].width = frame.GetRowSize() / (format.planes[0].samplesPerPixel * BytesPerSample(format));
    return view;
  }
  const int hostPlane[kColourChannels] = {0, PLANAR_U, PLANAR_V};
  for (int32_t c = 1; c < kColourChannels; ++c) {
    const int plane = hostPlane[c];
    view.planes[format.channels[c].plane] = {pointer(frame, plane), frame.GetPitch(plane), frame.GetRowSize(plane),
                                             frame.GetHeight(plane)};
  }
  return view;
}

}  // namespace

Sorvan::Sorvan(const PClip& child, OwnedPlan& plan) : GenericVideoFilter(child) { plan_.Swap(plan); }

// The plan and its scratch go with plan_; the child reference goes with the base.
SORVAN_STDCALL Sorvan::~Sorvan() = default;

PVideoFrame SORVAN_STDCALL Sorvan::GetFrame(int n, IScriptEnvironment* env) {
  PVideoFrame source = child->GetFrame(n, env);
  PVideoFrame destination = env->NewVideoFrame(vi, 16);
  const VideoFormat& format = plan_->Format();
  // The frame is fresh and held only here, so the first plane's write pointer exists.
  const FrameView dst =
      Planes<uint8_t>(*destination.get(), format, [](const VideoFrame& f, int plane) { return f.GetWritePtr(plane); });
  const SourceFrameView src =
      Planes<const uint8_t>(*source.get(), format, [](const VideoFrame& f, int plane) { return f.GetReadPtr(plane); });
  if (!plan_->Process(dst, src, CopyPlane{&HostBitBlt, env})) {
    env->ThrowError("%s", "Sorvan: out of memory while filtering a frame");
  }
  return destination;
}

}  // namespace sorvan
