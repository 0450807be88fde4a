// Everything a filter fixes at construction: the script's twelve values and the tables and
// buffers they call for. The frame processor reads it and writes only the scratch plane and
// the box offset table.
#pragma once

#include "core/channel_kernels.h"
#include "core/dispatch.h"
#include "core/gaussian_weights.h"

namespace sorvan {

struct FilterSettings {
  int32_t str = 4;
  int32_t rad = 5;
  bool ry = false;
  bool gu = true;
  bool bv = true;
  bool force = false;
  int32_t pry = 3;
  int32_t pgu = 1;
  int32_t pbv = 3;
  int32_t nry = 3;
  int32_t ngu = 4;
  int32_t nbv = 6;

  int32_t window = 11;
  GaussianWeights weights;          // Gaussian mode only
  OwnedArray<int32_t> scratch;      // Gaussian mode only: the scratch plane
  OwnedArray<int32_t> boxOffsets;   // box mode only: window² entries
  const ChannelKernels* kernels = &ReferenceKernels();
  // The highest instruction set PrepareFilterTables may pick (SORVAN_MAX_ISA can lower it).
  InstructionSet maxInstructionSet = kBestInstructionSet;
  OwnedArray<int32_t> workspace;    // row buffers of the fast paths, sized for the clip's width
};

// Entries of the scratch plane: the largest plane the Gaussian average will smooth.
size_t ScratchPlaneEntries(int32_t pixelType, int32_t width, int32_t height, bool ry);

// Builds the tables for `settings.force`, sizes the scratch plane for the clip and chooses the
// kernels (no higher than settings.maxInstructionSet) with their workspace, or the reference
// when the workspace cannot be had; the twelve values must already be set and valid. Returns
// false when memory for the tables ran out, leaving no table.
bool PrepareFilterTables(FilterSettings& settings, int32_t pixelType, int32_t width, int32_t height);

}  // namespace sorvan
