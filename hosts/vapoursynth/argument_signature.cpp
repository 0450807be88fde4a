#include "hosts/vapoursynth/argument_signature.h"

#include <cctype>
#include <sstream>

namespace sorvan::vshost {
namespace {

bool IsIdentifier(const std::string& s) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

std::vector<std::string> Split(const std::string& s, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!s.empty() && s.back() == separator) parts.emplace_back();
  return parts;
}

int TypeOf(const std::string& name) {
  if (name == "int") return ptInt;
  if (name == "float") return ptFloat;
  if (name == "data") return ptData;
  if (name == "func") return ptFunction;
  if (name == "vnode") return ptVideoNode;
  if (name == "anode") return ptAudioNode;
  if (name == "vframe") return ptVideoFrame;
  if (name == "aframe") return ptAudioFrame;
  return ptUnset;
}

}  // namespace

ParsedSignature ParseSignature(const std::string& text) {
  Signature signature;
  const std::vector<std::string> entries = Split(text, ';');
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    if (entry.empty()) continue;
    if (signature.acceptsAny) return {std::nullopt, "\"any\" must be the last entry"};
    if (entry == "any") {
      signature.acceptsAny = true;
      continue;
    }
    const std::vector<std::string> fields = Split(entry, ':');
    if (fields.size() < 2) return {std::nullopt, "entry without a type: " + entry};
    ArgumentSpec spec{fields[0], ptUnset, false, false, false};
    if (!IsIdentifier(spec.name)) return {std::nullopt, "bad argument name: " + spec.name};
    std::string type = fields[1];
    if (type.size() > 2 && type.compare(type.size() - 2, 2, "[]") == 0) {
      spec.array = true;
      type.resize(type.size() - 2);
    }
    if (type == "clip" || type == "frame") return {std::nullopt, "API 3 type name refused: " + type};
    spec.type = TypeOf(type);
    if (spec.type == ptUnset) return {std::nullopt, "unknown type: " + fields[1]};
    for (size_t f = 2; f < fields.size(); ++f) {
      if (fields[f] == "opt" && !spec.optional) {
        spec.optional = true;
      } else if (fields[f] == "empty" && !spec.allowEmpty && spec.array) {
        spec.allowEmpty = true;
      } else {
        return {std::nullopt, "bad or repeated modifier: " + fields[f]};
      }
    }
    for (const ArgumentSpec& other : signature.arguments) {
      if (other.name == spec.name) return {std::nullopt, "argument declared twice: " + spec.name};
    }
    signature.arguments.push_back(spec);
  }
  return {signature, ""};
}

std::string CheckArguments(const std::string& function, const Signature& signature, const VSMap& arguments) {
  for (const VSMapEntry& entry : arguments.entries) {
    bool declared = false;
    for (const ArgumentSpec& spec : signature.arguments) declared = declared || spec.name == entry.key;
    if (!declared && !signature.acceptsAny) {
      return "Function '" + function + "' does not take argument(s) named " + entry.key;
    }
  }
  for (const ArgumentSpec& spec : signature.arguments) {
    const VSMapEntry* entry = arguments.Find(spec.name);
    if (entry == nullptr) {
      if (!spec.optional) return function + ": argument " + spec.name + " is required";
      continue;
    }
    if (entry->type != spec.type) return function + ": argument " + spec.name + " is not of the correct type";
    if (!spec.array && entry->values.size() > 1) {
      return function + ": argument " + spec.name + " is not an array, but more than one value was given";
    }
    if (entry->values.empty() && !spec.allowEmpty) {
      return function + ": argument " + spec.name + " does not accept an empty array";
    }
  }
  return "";
}

}  // namespace sorvan::vshost
