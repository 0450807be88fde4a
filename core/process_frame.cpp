#include "core/process_frame.h"

#include "core/pixel_type.h"

namespace sorvan {
namespace {

constexpr int32_t kGaussianShift = 10;

struct ChannelViews {
  ChannelView dst;
  SourceChannelView src;
};

ChannelViews MainImageChannel(const FramePlanes& dst, const SourceFramePlanes& src, int32_t byte, int32_t step,
                              int32_t width, int32_t height) {
  return {{dst.main + byte, dst.pitch, step, width, height}, {src.main + byte, src.pitch, step, width, height}};
}

void CopyViews(const FilterSettings& settings, const ChannelViews& c) {
  settings.kernels->copyChannel(c.dst.base, c.dst.pitch, c.src.base, c.src.pitch, c.dst.height, c.dst.width,
                                c.dst.step);
}

// Smooths one channel and merges it against the source with limits (p, n).
void SmoothChannel(FilterSettings& settings, const ChannelViews& c, int32_t p, int32_t n) {
  const ChannelView& d = c.dst;
  const SourceChannelView& s = c.src;
  if (!ChannelFitsAverage(settings, d.width, d.height)) {
    CopyViews(settings, c);
    return;
  }
  // A workspace sized for a narrower clip than this channel falls back to the reference.
  const bool workspaceFits = !settings.kernels->needsWorkspace ||
                             settings.workspace.size() >= KernelWorkspaceEntries(d.width);
  const ChannelKernels& kernels = workspaceFits ? *settings.kernels : ReferenceKernels();
  if (!settings.force && kernels.gaussianSurroundMerge != nullptr) {
    kernels.gaussianSurroundMerge(d.base, d.pitch, s.base, s.pitch, settings.scratch.data(), d.height, d.width, d.step,
                                  settings.weights.taps.data(), settings.window, kGaussianShift,
                                  settings.weights.surroundWeight, settings.weights.centreWeightSq, p, n,
                                  settings.workspace.data());
    return;
  }
  if (settings.force) {
    kernels.boxAverage(d.base, d.pitch, s.base, s.pitch, d.height, d.width, d.step, settings.window,
                       settings.boxOffsets.data(), settings.workspace.data());
  } else {
    kernels.gaussianSurroundAverage(d.base, d.pitch, s.base, s.pitch, settings.scratch.data(), d.height, d.width,
                                    d.step, settings.weights.taps.data(), settings.window, kGaussianShift,
                                    settings.weights.surroundWeight, settings.weights.centreWeightSq,
                                    settings.workspace.data());
  }
  kernels.limitMerge(d.base, d.pitch, s.base, s.pitch, d.base, d.pitch, d.height, d.width, d.step, p, n);
}

void PassOrCopy(FilterSettings& settings, bool selected, const ChannelViews& c, int32_t p, int32_t n) {
  if (selected) {
    SmoothChannel(settings, c, p, n);
  } else {
    CopyViews(settings, c);
  }
}

}  // namespace

bool ChannelFitsAverage(const FilterSettings& settings, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return false;
  const size_t samples = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (settings.force) {
    const size_t entries = static_cast<size_t>(settings.window) * static_cast<size_t>(settings.window);
    return width >= settings.window && height >= settings.window && settings.boxOffsets.size() >= entries;
  }
  // A scratch plane sized for a smaller clip than the frames it meets must not be overrun.
  return width >= 2 * settings.rad && height >= 2 * settings.rad && settings.scratch.size() >= samples &&
         settings.weights.window == settings.window;
}

void ProcessFrame(const ClipGeometry& clip, FilterSettings& settings, const FramePlanes& dst,
                  const SourceFramePlanes& src, const CopyPlane& copyPlane) {
  const int32_t type = clip.pixelType;
  const int32_t w = clip.width;
  const int32_t h = clip.height;
  const int32_t step = BitsPerPixel(type) >> 3;

  PassOrCopy(settings, settings.ry, MainImageChannel(dst, src, 0, step, w, h), settings.pry, settings.nry);

  if ((type & CS_BGR) != 0) {
    PassOrCopy(settings, settings.gu, MainImageChannel(dst, src, 1, step, w, h), settings.pgu, settings.ngu);
    PassOrCopy(settings, settings.bv, MainImageChannel(dst, src, 2, step, w, h), settings.pbv, settings.nbv);
    if (HasAllBits(type, CS_BGR32)) CopyViews(settings, MainImageChannel(dst, src, 3, 4, w, h));
  } else if (HasAllBits(type, CS_YUY2)) {
    const ChannelViews u = MainImageChannel(dst, src, 1, 4, w / 2, h);
    const ChannelViews v = MainImageChannel(dst, src, 3, 4, w / 2, h);
    if (!settings.gu) CopyViews(settings, u);
    if (!settings.bv) CopyViews(settings, v);
    if (settings.gu) SmoothChannel(settings, u, settings.pgu, settings.ngu);
    if (settings.bv) SmoothChannel(settings, v, settings.pbv, settings.nbv);
  } else if ((type & CS_PLANAR) != 0) {
    // The chroma size comes from the source frame alone; a chroma pitch of 0 means no chroma.
    const int32_t wc = src.chromaPitch != 0 ? src.rowSize >> 1 : 0;
    const int32_t hc = src.chromaPitch != 0 ? src.height >> 1 : 0;
    const ChannelViews u = {{dst.u, dst.chromaPitch, 1, wc, hc}, {src.u, src.chromaPitch, 1, wc, hc}};
    const ChannelViews v = {{dst.v, dst.chromaPitch, 1, wc, hc}, {src.v, src.chromaPitch, 1, wc, hc}};
    if (!settings.gu) copyPlane(dst.u, dst.chromaPitch, src.u, src.chromaPitch, wc, hc);
    if (!settings.bv) copyPlane(dst.v, dst.chromaPitch, src.v, src.chromaPitch, wc, hc);
    if (settings.gu) SmoothChannel(settings, u, settings.pgu, settings.ngu);
    if (settings.bv) SmoothChannel(settings, v, settings.pbv, settings.nbv);
  }
}

void CopyPlaneRows(void* /*context*/, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch,
                   int32_t rowSize, int32_t height) {
  if (rowSize <= 0 || height <= 0) return;
  for (int32_t y = 0; y < height; ++y) {
    memcpy(dst + static_cast<ptrdiff_t>(y) * dstPitch, src + static_cast<ptrdiff_t>(y) * srcPitch,
           static_cast<size_t>(rowSize));
  }
}

}  // namespace sorvan
