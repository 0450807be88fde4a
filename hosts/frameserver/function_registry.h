// Script functions registered by plug-ins, and the binding of a call's arguments to a
// function's parameter string, as a script call does it.
#pragma once

#include <map>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "plugin/classic/classic_interface.h"

namespace sorvan::frameserver {

// One declared parameter: `t` (unnamed, required) or `[name]t` (named, optional), with the type
// letter t one of c (clip), i (int), b (bool), f (float; an int is accepted), s (string).
struct Parameter {
  std::string name;  // empty for an unnamed parameter
  char type;
  bool optional;
};

// Parses a parameter string; throws ScriptError naming the function when it is malformed.
std::vector<Parameter> ParseParameters(const std::string& function, const std::string& params);

struct ScriptFunction {
  std::string name;
  std::string params;
  std::vector<Parameter> parameters;
  IScriptEnvironment::ApplyFunc apply = nullptr;
  void* userData = nullptr;
};

// An argument of a call: positional when `name` is empty.
struct BoundArgument {
  std::string name;
  AVSValue value;
};

// One element per parameter, void where the call left an optional parameter out. Throws
// ScriptError for too many arguments, an unknown or repeated name, a wrong type or a missing
// required argument.
std::vector<AVSValue> BindArguments(const ScriptFunction& function, const std::vector<BoundArgument>& arguments);

// Function names are matched without regard to case, as in scripts. Safe for concurrent use.
class FunctionRegistry {
 public:
  void Add(ScriptFunction function);
  std::optional<ScriptFunction> Find(const std::string& name) const;
  void Clear();

 private:
  mutable std::shared_mutex mutex_;
  std::map<std::string, ScriptFunction> functions_;
};

std::string LowerCase(std::string text);

}  // namespace sorvan::frameserver
