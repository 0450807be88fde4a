#include "cli/compare/frame_analysis.h"

#include <cstring>

#include "cli/compare/channel_samples.h"
#include "core/kernels/gaussian_weights.h"
#include "core/kernels/reference_kernels.h"

namespace sorvan::cli {
namespace {

// The plain average of channel c of `source` written over the same channel of `average` (a
// copy of the source frame). False when the channel is too small for its average: the filter
// copies such a channel, so nothing in it can have been put back.
template <typename T>
bool AverageChannel(const FrameFormat& format, const FilterArguments& arguments, int32_t c, const uint8_t* source,
                    uint8_t* average) {
  const ChannelGeometry g = GeometryOf(format, c);
  const int32_t rad = arguments[kRad];
  const int32_t window = 2 * rad + 1;
  const bool force = arguments.Flag(kForce);
  const bool fits = force ? g.width >= window && g.height >= window : g.width >= 2 * rad && g.height >= 2 * rad;
  if (!fits) return false;
  const ChannelShape shape{g.width, g.height, g.step};
  const auto pitch = static_cast<int32_t>(g.rowBytes);
  const Channel<const T> src{reinterpret_cast<const T*>(source + g.offset), pitch};
  const Channel<T> dst{reinterpret_cast<T*>(average + g.offset), pitch};
  if (force) {
    std::vector<int32_t> offsets(static_cast<size_t>(window) * window);
    BoxAverage<T>(dst, src, shape, window, offsets.data());
  } else {
    const GaussianWeights weights = BuildGaussianWeights(rad, arguments[kStr]);
    std::vector<typename SampleTraits<T>::RowSum> rowSums(static_cast<size_t>(g.width) * g.height);
    GaussianSurroundAverage<T>(dst, src, shape, weights.Params(), rowSums.data());
  }
  return true;
}

bool AverageChannelOfType(const FrameFormat& format, const FilterArguments& arguments, int32_t c, const uint8_t* source,
                          uint8_t* average) {
  switch (BytesPerSample(format.video)) {
    case 1: return AverageChannel<uint8_t>(format, arguments, c, source, average);
    case 2: return AverageChannel<uint16_t>(format, arguments, c, source, average);
    default: return AverageChannel<float>(format, arguments, c, source, average);
  }
}

}  // namespace

FrameChange AnalyseChange(const FrameFormat& format, const FilterArguments& arguments, const uint8_t* source,
                          const uint8_t* filtered) {
  FrameChange change;
  change.channelCount = ColourChannelCount(format.video);
  std::vector<uint8_t> average;
  for (int32_t c = 0; c < change.channelCount; ++c) {
    ChannelChange& channel = change.channels[c];
    const ChannelGeometry g = GeometryOf(format, c);
    channel.samples = static_cast<int64_t>(g.width) * g.height;
    channel.smoothed = arguments.Flag(kChannelParameters[c].enabled);
    bool averaged = false;
    if (channel.smoothed) {
      if (average.empty()) average.resize(FrameBytes(format));
      std::memcpy(average.data(), source, average.size());
      averaged = AverageChannelOfType(format, arguments, c, source, average.data());
      channel.restoredMask.assign(static_cast<size_t>(channel.samples), 0);
    }
    for (int32_t y = 0; y < g.height; ++y) {
      for (int32_t x = 0; x < g.width; ++x) {
        const size_t at = SampleOffset(g, x, y);
        const bool same = std::memcmp(source + at, filtered + at, static_cast<size_t>(g.bytes)) == 0;
        if (!same) ++channel.changed;
        if (same && averaged && std::memcmp(source + at, average.data() + at, static_cast<size_t>(g.bytes)) != 0) {
          ++channel.restored;
          channel.restoredMask[static_cast<size_t>(y) * g.width + x] = 1;
        }
      }
    }
  }
  return change;
}

}  // namespace sorvan::cli
