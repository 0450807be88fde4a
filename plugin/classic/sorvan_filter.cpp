#include "plugin/classic/sorvan_filter.h"

#include "core/process_frame.h"

namespace sorvan {
namespace {

// The host's BitBlt as the core's plane copy; the context is the environment of this request.
void HostBitBlt(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
                int32_t height) {
  static_cast<IScriptEnvironment*>(context)->BitBlt(dst, dstPitch, src, srcPitch, rowSize, height);
}

SourceFramePlanes SourcePlanes(const VideoFrame& frame) {
  return {frame.GetReadPtr(),         frame.GetPitch(),          frame.GetRowSize(), frame.GetHeight(),
          frame.GetReadPtr(PLANAR_U), frame.GetReadPtr(PLANAR_V), frame.GetPitch(PLANAR_U)};
}

// The frame is fresh and held only here, so the first plane's write pointer exists.
FramePlanes DestinationPlanes(const VideoFrame& frame) {
  return {frame.GetWritePtr(),         frame.GetPitch(),           frame.GetRowSize(), frame.GetHeight(),
          frame.GetWritePtr(PLANAR_U), frame.GetWritePtr(PLANAR_V), frame.GetPitch(PLANAR_U)};
}

}  // namespace

Sorvan::Sorvan(const PClip& child, int rad, int str, bool ry, bool gu, bool bv, bool force, int pry, int pgu, int pbv,
               int nry, int ngu, int nbv, IScriptEnvironment* /*env*/)
    : GenericVideoFilter(child) {
  settings_.str = str;
  settings_.rad = rad;
  settings_.ry = ry;
  settings_.gu = gu;
  settings_.bv = bv;
  settings_.force = force;
  settings_.pry = pry;
  settings_.pgu = pgu;
  settings_.pbv = pbv;
  settings_.nry = nry;
  settings_.ngu = ngu;
  settings_.nbv = nbv;
  complete_ = PrepareFilterTables(settings_, vi.pixel_type, vi.width, vi.height);
}

// The tables are owned arrays and go with settings_; the child reference goes with the base.
SORVAN_STDCALL Sorvan::~Sorvan() = default;

PVideoFrame SORVAN_STDCALL Sorvan::GetFrame(int n, IScriptEnvironment* env) {
  PVideoFrame source = child->GetFrame(n, env);
  PVideoFrame destination = env->NewVideoFrame(vi, 16);
  const ClipGeometry clip = {vi.width, vi.height, vi.pixel_type};
  const CopyPlane copyPlane = {&HostBitBlt, env};
  ProcessFrame(clip, settings_, DestinationPlanes(*destination.get()), SourcePlanes(*source.get()), copyPlane);
  return destination;
}

}  // namespace sorvan
