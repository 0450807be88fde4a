#include "hosts/frameserver/function_registry.h"

#include <cctype>
#include <mutex>

#include "hosts/frameserver/frame_server.h"

namespace sorvan::frameserver {
namespace {

const char* TypeName(char type) {
  switch (type) {
    case 'c': return "clip";
    case 'i': return "int";
    case 'b': return "bool";
    case 'f': return "float";
    case 's': return "string";
    case 'a': return "array";
    case 'v': return "void";
    default: return "unknown";
  }
}

bool IsParameterType(char c) { return c == 'c' || c == 'i' || c == 'b' || c == 'f' || c == 's'; }

std::string Describe(const Parameter& p, size_t index) {
  return p.name.empty() ? "argument " + std::to_string(index + 1) : "argument \"" + p.name + "\"";
}

// The value as the parameter takes it: an int given for a float becomes a float.
AVSValue Convert(const ScriptFunction& f, const Parameter& p, size_t index, const AVSValue& value) {
  const bool fits = (p.type == 'c' && value.IsClip()) || (p.type == 'i' && value.IsInt()) ||
                    (p.type == 'b' && value.IsBool()) || (p.type == 'f' && value.IsFloat()) ||
                    (p.type == 's' && value.IsString());
  if (!fits) {
    throw ScriptError(f.name + ": " + Describe(p, index) + " must be " + TypeName(p.type) + ", not " +
                      TypeName(value.Type()));
  }
  if (p.type == 'f') return AVSValue(value.AsFloat());
  return value;
}

}  // namespace

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<Parameter> ParseParameters(const std::string& function, const std::string& params) {
  std::vector<Parameter> parameters;
  size_t i = 0;
  while (i < params.size()) {
    Parameter p{{}, 0, false};
    if (params[i] == '[') {
      const size_t close = params.find(']', i);
      if (close == std::string::npos || close == i + 1) {
        throw ScriptError(function + ": malformed parameter string \"" + params + "\"");
      }
      p.name = params.substr(i + 1, close - i - 1);
      p.optional = true;
      i = close + 1;
    }
    if (i >= params.size() || !IsParameterType(params[i])) {
      throw ScriptError(function + ": unsupported parameter type in \"" + params + "\"");
    }
    p.type = params[i++];
    for (const Parameter& q : parameters) {
      if (!p.name.empty() && LowerCase(q.name) == LowerCase(p.name)) {
        throw ScriptError(function + ": parameter \"" + p.name + "\" declared twice");
      }
    }
    parameters.push_back(std::move(p));
  }
  return parameters;
}

std::vector<AVSValue> BindArguments(const ScriptFunction& f, const std::vector<BoundArgument>& arguments) {
  const std::vector<Parameter>& params = f.parameters;
  std::vector<AVSValue> bound(params.size());
  std::vector<bool> given(params.size(), false);
  size_t next = 0;
  for (const BoundArgument& argument : arguments) {
    size_t index = 0;
    if (argument.name.empty()) {
      if (next >= params.size()) {
        throw ScriptError(f.name + ": too many arguments (it takes at most " + std::to_string(params.size()) + ")");
      }
      index = next++;
    } else {
      const std::string wanted = LowerCase(argument.name);
      index = params.size();
      for (size_t k = 0; k < params.size(); ++k) {
        if (!params[k].name.empty() && LowerCase(params[k].name) == wanted) index = k;
      }
      if (index == params.size()) {
        throw ScriptError(f.name + " does not have a named argument \"" + argument.name + "\"");
      }
    }
    if (given[index]) throw ScriptError(f.name + ": " + Describe(params[index], index) + " given twice");
    given[index] = true;
    // A void value stands for an argument left out.
    if (argument.value.Defined()) bound[index] = Convert(f, params[index], index, argument.value);
  }
  for (size_t k = 0; k < params.size(); ++k) {
    if (!params[k].optional && !bound[k].Defined()) {
      throw ScriptError(f.name + ": " + Describe(params[k], k) + " (" + TypeName(params[k].type) + ") is required");
    }
  }
  return bound;
}

void FunctionRegistry::Add(ScriptFunction function) {
  std::unique_lock lock(mutex_);
  std::string key = LowerCase(function.name);
  functions_.insert_or_assign(std::move(key), std::move(function));
}

std::optional<ScriptFunction> FunctionRegistry::Find(const std::string& name) const {
  std::shared_lock lock(mutex_);
  const auto it = functions_.find(LowerCase(name));
  if (it == functions_.end()) return std::nullopt;
  return it->second;
}

void FunctionRegistry::Clear() {
  std::unique_lock lock(mutex_);
  functions_.clear();
}

}  // namespace sorvan::frameserver
