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
    ArgumentDeclaration param{fields[0], ptUnset, false, false, false};
    if (!IsIdentifier(param.name)) return {std::nullopt, "bad argument name: " + param.name};
    std::string type = fields[1];
    if (type.size() > 2 && type.compare(type.size() - 2, 2, "[]") == 0) {
      param.array = true;
      type.resize(type.size() - 2);
    }
    if (type == "clip" || type == "frame") return {std::nullopt, "API 3 type name refused: " + type};
    param.type = TypeOf(type);
    if (param.type == ptUnset) return {std::nullopt, "unknown type: " + fields[1]};
    for (size_t f = 2; f < fields.size(); ++f) {
      if (fields[f] == "opt" && !param.optional) {
        param.optional = true;
      } else if (fields[f] == "empty" && !param.allowEmpty && param.array) {
        param.allowEmpty = true;
      } else {
        return {std::nullopt, "bad or repeated modifier: " + fields[f]};
      }
    }
    for (const ArgumentDeclaration& other : signature.arguments) {
      if (other.name == param.name) return {std::nullopt, "argument declared twice: " + param.name};
    }
    signature.arguments.push_back(param);
  }
  return {signature, ""};
}

std::string CheckArguments(const std::string& function, const Signature& signature, const VSMap& arguments) {
  for (const VSMapEntry& entry : arguments.entries) {
    bool declared = false;
    for (const ArgumentDeclaration& param : signature.arguments) declared = declared || param.name == entry.key;
    if (!declared && !signature.acceptsAny) {
      return "Function '" + function + "' does not take argument(s) named " + entry.key;
    }
  }
  for (const ArgumentDeclaration& param : signature.arguments) {
    const VSMapEntry* entry = arguments.Find(param.name);
    if (entry == nullptr) {
      if (!param.optional) return function + ": argument " + param.name + " is required";
      continue;
    }
    if (entry->type != param.type) return function + ": argument " + param.name + " is not of the correct type";
    if (!param.array && entry->values.size() > 1) {
      return function + ": argument " + param.name + " is not an array, but more than one value was given";
    }
    if (entry->values.empty() && !param.allowEmpty) {
      return function + ": argument " + param.name + " does not accept an empty array";
    }
  }
  return "";
}

}  // namespace sorvan::vshost
