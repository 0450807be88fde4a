// The parameter strings the bindings register the script function with, built from the core's
// parameter table at compile time: "c[rad]i[str]i[ry]b…" for both AviSynth interfaces,
// "clip:vnode;rad:int:opt;…" for VapourSynth (which has no booleans: they are integers there).
// A string that outgrows its buffer fails the build.
#pragma once

#include "core/bounded_text.h"
#include "core/parameters.h"

namespace sorvan {

using ParameterString = BoundedText<256>;

constexpr ParameterString MakeAvisynthParameterString() {
  ParameterString s;
  s.Append("c");
  for (const ParameterEntry& p : kParameters) {
    s.Append("[").Append(p.name).Append(p.kind == ParameterKind::kBoolean ? "]b" : "]i");
  }
  return s;
}

constexpr ParameterString MakeVapourSynthArgumentString() {
  ParameterString s;
  s.Append("clip:vnode;");
  for (const ParameterEntry& p : kParameters) s.Append(p.name).Append(":int:opt;");
  return s;
}

inline constexpr ParameterString kAvisynthParameterString = MakeAvisynthParameterString();
inline constexpr ParameterString kVapourSynthArgumentString = MakeVapourSynthArgumentString();
static_assert(kAvisynthParameterString.Fits(), "the AviSynth parameter string outgrew ParameterString");
static_assert(kVapourSynthArgumentString.Fits(), "the VapourSynth argument string outgrew ParameterString");

}  // namespace sorvan
