#include "core/filter_settings.h"

#include "core/pixel_type.h"

namespace sorvan {

size_t ScratchPlaneEntries(int32_t pixelType, int32_t width, int32_t height, bool ry) {
  const size_t w = width > 0 ? static_cast<size_t>(width) : 0;
  const size_t h = height > 0 ? static_cast<size_t>(height) : 0;
  if ((pixelType & CS_BGR) != 0 || ry) return w * h;
  if (HasAllBits(pixelType, CS_YUY2)) return (w * h) / 2;
  return (w / 2) * (h / 2);
}

bool PrepareFilterTables(FilterSettings& settings, int32_t pixelType, int32_t width, int32_t height) {
  settings.window = 2 * settings.rad + 1;
  settings.weights = GaussianWeights();
  settings.scratch.Release();
  settings.boxOffsets.Release();
  settings.workspace.Release();
  settings.kernels = &SelectKernels(settings.maxInstructionSet);
  // Every channel is at most the clip's width in samples (chroma is half of it). The workspace
  // only speeds things up: without it the filter runs on the reference, which needs none.
  if (settings.kernels->needsWorkspace && !settings.workspace.Allocate(KernelWorkspaceEntries(width))) {
    settings.kernels = &ReferenceKernels();
  }
  if (settings.force) {
    const size_t entries = static_cast<size_t>(settings.window) * static_cast<size_t>(settings.window);
    return settings.boxOffsets.Allocate(entries);
  }
  settings.weights = BuildGaussianWeights(settings.rad, settings.str);
  if (settings.weights.taps.empty()) return false;
  // An empty clip needs no scratch; Allocate(0) succeeds and holds nothing.
  if (!settings.scratch.Allocate(ScratchPlaneEntries(pixelType, width, height, settings.ry))) {
    settings.weights = GaussianWeights();
    return false;
  }
  return true;
}

}  // namespace sorvan
