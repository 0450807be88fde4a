// A plug-in function's argument string ("clip:vnode;rad:int:opt;...") parsed as the host's
// registration does, and the checks a call's arguments pass before the plug-in sees them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hosts/vapoursynth/host_objects.h"

namespace sorvan::vshost {

struct ArgumentDeclaration {
  std::string name;
  int type;  // VSPropertyType of the elements
  bool array;
  bool optional;
  bool allowEmpty;
};

struct Signature {
  std::vector<ArgumentDeclaration> arguments;
  bool acceptsAny = false;  // a last entry "any"
};

// The parsed string, or the reason it is refused (registration then fails).
struct ParsedSignature {
  std::optional<Signature> signature;
  std::string error;
};
ParsedSignature ParseSignature(const std::string& text);

// The first reason a call's arguments do not fit the signature, or empty: undeclared keys,
// wrong types (no conversions), several values for a non-array, empty arrays without `empty`,
// required arguments left out.
std::string CheckArguments(const std::string& function, const Signature& signature, const VSMap& arguments);

}  // namespace sorvan::vshost
