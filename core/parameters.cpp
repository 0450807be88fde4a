#include "core/parameters.h"

namespace sorvan {
namespace {

bool InRange(const FilterArguments& a, Parameter p) {
  return a[p] >= kParameters[p].minimum && a[p] <= kParameters[p].maximum;
}

}  // namespace

const char* FirstArgumentError(const FilterArguments& a) {
  if (!InRange(a, kRad)) return kParameters[kRad].rangeMessage;
  if (!InRange(a, kStr)) return kParameters[kStr].rangeMessage;
  if (!a.Flag(kRy) && !a.Flag(kGu) && !a.Flag(kBv)) return kNoChannelMessage;
  // A switched-off channel's limits are neither checked nor used.
  for (const ChannelParameters& c : kChannelParameters) {
    if (!a.Flag(c.enabled)) continue;
    if (!InRange(a, c.positive)) return kParameters[c.positive].rangeMessage;
    if (!InRange(a, c.negative)) return kParameters[c.negative].rangeMessage;
    if (a[c.positive] == 0 && a[c.negative] == 0) return c.bothZeroMessage;
  }
  return nullptr;
}

const char* ChannelSelectionError(const FilterArguments& a, const VideoFormat& format) {
  if (ColourChannelCount(format) == 1 && !a.Flag(kRy)) return kGrayNeedsChannel0Message;
  return nullptr;
}

}  // namespace sorvan
