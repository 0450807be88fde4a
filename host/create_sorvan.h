// The script function Sorvan: its parameter string, its argument checks and its creation callback.
#pragma once

#include "host/frame_server_interface.h"

namespace sorvan {

// One unnamed clip and twelve optional named arguments, in this order.
inline constexpr const char* kSorvanParameters =
    "c[rad]i[str]i[ry]b[gu]b[bv]b[force]b[pry]i[pgu]i[pbv]i[nry]i[ngu]i[nbv]i";

// The effective values of the twelve named arguments: what the script gave, else the default.
struct SorvanArguments {
  int rad = 5;
  int str = 4;
  bool ry = false;
  bool gu = true;
  bool bv = true;
  bool force = false;
  int pry = 3;
  int pgu = 1;
  int pbv = 3;
  int nry = 3;
  int ngu = 4;
  int nbv = 6;
};

// Reads the twelve values from the argument array (elements 1 to 12) with their defaults.
SorvanArguments ReadSorvanArguments(const AVSValue& args);

// The message of the first failing check after the colour format, in the fixed order, or null.
const char* FirstArgumentError(const SorvanArguments& a);

// The creation callback registered with AddFunction.
AVSValue SORVAN_CDECL CreateSorvan(AVSValue args, void* user_data, IScriptEnvironment* env);

}  // namespace sorvan
