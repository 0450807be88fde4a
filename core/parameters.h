// The script function's twelve arguments: names, kinds, defaults, ranges, the order of the
// checks and every message, once. The bindings (and the registration strings they give their
// hosts, plugin/parameter_strings.h) and the command read this table, so an argument added here
// reaches every host and the command's options with no change to them.
#pragma once

#include "core/formats/video_format.h"

namespace sorvan {

// In the script function's order.
enum Parameter : int32_t { kRad, kStr, kRy, kGu, kBv, kForce, kPry, kPgu, kPbv, kNry, kNgu, kNbv, kParameterCount };

enum class ParameterKind : uint8_t { kInteger, kBoolean };

struct ParameterEntry {
  const char* name;
  ParameterKind kind;
  int32_t defaultValue;  // booleans: 0 or 1
  int32_t minimum;       // integers: the accepted range
  int32_t maximum;
  const char* rangeMessage;    // integers: the refusal when out of range
  const char* booleanMessage;  // booleans: the refusal of a value other than 0 or 1 where a host has no booleans
  const char* help;            // one line for the command's help
};

inline constexpr ParameterEntry kParameters[kParameterCount] = {
    {"rad", ParameterKind::kInteger, 5, 1, 8, "Sorvan:rad must be between 1 and 8", nullptr,
     "radius: the window is 2*rad+1 samples on a side"},
    {"str", ParameterKind::kInteger, 4, 1, 8, "Sorvan:str must be between 1 and 8", nullptr,
     "strength: the Gaussian's standard deviation"},
    {"ry", ParameterKind::kBoolean, 0, 0, 1, nullptr, "Sorvan: ry must be 0 or 1 (false or true)",
     "smooth channel 0 (Y, blue or gray)"},
    {"gu", ParameterKind::kBoolean, 1, 0, 1, nullptr, "Sorvan: gu must be 0 or 1 (false or true)",
     "smooth channel 1 (U or green)"},
    {"bv", ParameterKind::kBoolean, 1, 0, 1, nullptr, "Sorvan: bv must be 0 or 1 (false or true)",
     "smooth channel 2 (V or red)"},
    {"force", ParameterKind::kBoolean, 0, 0, 1, nullptr, "Sorvan: force must be 0 or 1 (false or true)",
     "box average instead of the Gaussian"},
    {"pry", ParameterKind::kInteger, 3, 0, 10, "Sorvan: limit pry must be between 0 and 10", nullptr,
     "positive limit of channel 0, in 8-bit levels"},
    {"pgu", ParameterKind::kInteger, 1, 0, 10, "Sorvan: limit pgu must be between 0 and 10", nullptr,
     "positive limit of channel 1, in 8-bit levels"},
    {"pbv", ParameterKind::kInteger, 3, 0, 10, "Sorvan: limit pbv must be between 0 and 10", nullptr,
     "positive limit of channel 2, in 8-bit levels"},
    {"nry", ParameterKind::kInteger, 3, 0, 10, "Sorvan: limit nry must be between 0 and 10", nullptr,
     "negative limit of channel 0, in 8-bit levels"},
    {"ngu", ParameterKind::kInteger, 4, 0, 10, "Sorvan: limit ngu must be between 0 and 10", nullptr,
     "negative limit of channel 1, in 8-bit levels"},
    {"nbv", ParameterKind::kInteger, 6, 0, 10, "Sorvan: limit nbv must be between 0 and 10", nullptr,
     "negative limit of channel 2, in 8-bit levels"},
};

// The switch and the two limits of each colour channel, with the refusal of both limits at 0.
struct ChannelParameters {
  Parameter enabled;
  Parameter positive;
  Parameter negative;
  const char* bothZeroMessage;
};
inline constexpr ChannelParameters kChannelParameters[kColourChannels] = {
    {kRy, kPry, kNry, "Sorvan: both limits pry and nry are specified as zero"},
    {kGu, kPgu, kNgu, "Sorvan: both limits pgu and ngu are specified as zero"},
    {kBv, kPbv, kNbv, "Sorvan: both limits pbv and nbv are specified as zero"},
};

inline constexpr const char* kNoChannelMessage = "Sorvan: At least one of ry, gu and bv must be true";
inline constexpr const char* kGrayNeedsChannel0Message =
    "Sorvan: a clip without colour planes has only channel 0: set ry=true";
inline constexpr const char* kOutOfMemoryMessage = "Sorvan: out of memory while allocating the filter's tables";

// The effective values of one call, indexed by Parameter.
struct FilterArguments {
  int32_t values[kParameterCount];

  constexpr int32_t operator[](Parameter p) const { return values[p]; }
  constexpr int32_t& operator[](Parameter p) { return values[p]; }
  constexpr bool Flag(Parameter p) const { return values[p] != 0; }
};

constexpr FilterArguments DefaultArguments() {
  FilterArguments a{};
  for (int32_t i = 0; i < kParameterCount; ++i) a.values[i] = kParameters[i].defaultValue;
  return a;
}

// The message of the first failing check, in the fixed order (the ranges of rad and str, at
// least one channel, then each switched-on channel's two limits and their both-zero rule), or
// null. MakeFilterPlan (core/filter_request.h) makes these checks in their place among all of
// a call's checks; the gray-clip rule that comes after them is ChannelSelectionError.
const char* FirstArgumentError(const FilterArguments& arguments);

// A clip without colour channels has only channel 0, so ry must be on; null when fine.
const char* ChannelSelectionError(const FilterArguments& arguments, const VideoFormat& format);

}  // namespace sorvan
