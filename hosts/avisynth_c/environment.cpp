// The environment: plug-in loading, function registration and script-style calls, and the
// environment functions of the C interface.
#include <algorithm>
#include <cctype>
#include <deque>

#include "hosts/avisynth_c/host_objects.h"
#include "hosts/dynamic_library.h"

namespace sorvan::avs_c_host {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct ParameterSlot {
  std::string name;  // empty: unnamed
  char type;
};

// The grammar's subset the filter's string uses: letters with optional [name] prefixes.
std::vector<ParameterSlot> ParseParameters(const std::string& params) {
  std::vector<ParameterSlot> slots;
  for (size_t i = 0; i < params.size(); ++i) {
    std::string name;
    if (params[i] == '[') {
      const size_t end = params.find(']', i);
      if (end == std::string::npos) return {};
      name = params.substr(i + 1, end - i - 1);
      i = end + 1;
      if (i >= params.size()) return {};
    }
    slots.push_back({Lower(name), params[i]});
  }
  return slots;
}

#if UINTPTR_MAX <= 0xFFFFFFFFu
// A 32-bit value holds its 64-bit numbers by pointer; these live as long as the process, like
// the host's saved strings.
template <typename T>
T* Kept(T value) {
  static std::mutex mutex;
  static std::deque<T> values;
  std::lock_guard<std::mutex> lock(mutex);
  return &values.emplace_back(value);
}
#endif

const char* TypeName(char type) {
  switch (type) {
    case 'c': return "clip";
    case 'i': return "int";
    case 'b': return "bool";
    case 'f': return "float";
    default: return "value";
  }
}

// The argument as the host passes it for a parameter of this type, or an error.
bool Convert(const Argument& a, char type, bool longValues, AVS_Value* out, std::string* error) {
  *out = {};
  switch (type) {
    case 'c':
      if (a.kind != Argument::kClip) break;
      avs_set_to_clip(out, a.clip->get());
      return true;
    case 'i':
      if (a.kind == Argument::kInt || (a.kind == Argument::kLong && !longValues)) {
        out->type = sorvan::avs::kInt;
        out->d.integer = static_cast<int32_t>(a.integer);
        return true;
      }
      if (a.kind == Argument::kLong) {
        out->type = sorvan::avs::kLong;
#if UINTPTR_MAX > 0xFFFFFFFFu
        out->d.longlong = a.integer;
#else
        out->d.longlong_ptr = Kept(a.integer);
#endif
        return true;
      }
      break;
    case 'b':
      if (a.kind != Argument::kBool) break;
      out->type = sorvan::avs::kBool;
      out->d.boolean = a.boolean;
      return true;
    case 'f':
      if (a.kind == Argument::kFloat) {
        out->type = sorvan::avs::kDouble;
#if UINTPTR_MAX > 0xFFFFFFFFu
        out->d.double_pt = a.floating;
#else
        out->d.double_pt_ptr = Kept(a.floating);
#endif
        return true;
      }
      if (a.kind == Argument::kInt) {
        out->type = sorvan::avs::kInt;
        out->d.integer = static_cast<int32_t>(a.integer);
        return true;
      }
      break;
    default: break;
  }
  *error = std::string("must be ") + TypeName(type);
  return false;
}

}  // namespace

Environment::Environment(int32_t interfaceVersion) : env_(new AVS_ScriptEnvironment) {
  env_->interfaceVersion = interfaceVersion;
}

Environment::~Environment() {
  for (void* plugin : env_->plugins) hosts::CloseLibrary(plugin);
  delete env_;
}

LoadResult Environment::LoadPlugin(const std::string& path) {
  LoadResult result;
  void* library = hosts::OpenLibrary(path, &result.error);
  if (library == nullptr) return result;
  env_->plugins.push_back(library);
  // The C entries by the names the host tries, in its order: on 32-bit Windows the stdcall
  // decorations first, on 64-bit Windows after the plain name, on POSIX the plain names only.
#if defined(_WIN32) && !defined(_WIN64)
  const char* entries[] = {"_avisynth_c_plugin_init2@4", "avisynth_c_plugin_init2@4", "avisynth_c_plugin_init2",
                           "_avisynth_c_plugin_init@4",  "avisynth_c_plugin_init@4",  "avisynth_c_plugin_init"};
#elif defined(_WIN32)
  const char* entries[] = {"avisynth_c_plugin_init2", "_avisynth_c_plugin_init2@4", "avisynth_c_plugin_init",
                           "_avisynth_c_plugin_init@4"};
#else
  const char* entries[] = {"avisynth_c_plugin_init2", "avisynth_c_plugin_init"};
#endif
  for (const char* entry : entries) {
    if (env_->interfaceVersion < 11 && std::string(entry).find("init2") != std::string::npos) continue;
    auto init = reinterpret_cast<AVS_PluginInitFunc>(hosts::LibrarySymbol(library, entry));
    if (init == nullptr) continue;
    const char* text = init(env_);
    result.loaded = true;
    result.entry = entry;
    result.text = text != nullptr ? text : "";
    return result;
  }
  result.error = "'" + path + "' cannot be used as a plugin for this host";
  return result;
}

bool Environment::FunctionExists(const std::string& name) const { return env_->functions.count(Lower(name)) != 0; }

std::string Environment::Parameters(const std::string& name) const {
  const auto it = env_->functions.find(Lower(name));
  return it != env_->functions.end() ? it->second.params : std::string();
}

CallResult Environment::Invoke(const std::string& name, const std::vector<Argument>& positional,
                               const std::vector<NamedArgument>& named) {
  CallResult result;
  const auto it = env_->functions.find(Lower(name));
  if (it == env_->functions.end()) {
    result.error = "there is no function named " + name;
    return result;
  }
  const std::vector<ParameterSlot> slots = ParseParameters(it->second.params);
  std::vector<AVS_Value> elements(slots.size());
  for (AVS_Value& e : elements) e.type = sorvan::avs::kVoid;
  const bool longValues = env_->interfaceVersion >= 11;
  std::string error;
  if (positional.size() > slots.size()) error = name + ": too many arguments";
  for (size_t i = 0; error.empty() && i < positional.size(); ++i) {
    std::string why;
    if (!Convert(positional[i], slots[i].type, longValues, &elements[i], &why)) {
      error = name + ": argument " + std::to_string(i + 1) + " " + why;
    }
  }
  for (const NamedArgument& n : named) {
    if (!error.empty()) break;
    const auto slot =
        std::find_if(slots.begin(), slots.end(), [&](const ParameterSlot& s) { return s.name == Lower(n.name); });
    if (slot == slots.end()) {
      error = name + " does not have a named argument \"" + n.name + "\"";
      break;
    }
    std::string why;
    AVS_Value& element = elements[static_cast<size_t>(slot - slots.begin())];
    avs_release_value(element);
    if (!Convert(n.value, slot->type, longValues, &element, &why))
      error = name + ": argument \"" + n.name + "\" " + why;
  }
  for (size_t i = 0; error.empty() && i < slots.size(); ++i) {
    if (slots[i].name.empty() && elements[i].type == sorvan::avs::kVoid)
      error = name + ": missing argument " + std::to_string(i + 1);
  }
  if (error.empty()) {
    AVS_Value args{};
    args.type = sorvan::avs::kArray;
    args.array_size = static_cast<int16_t>(elements.size());
    args.d.array = elements.data();
    result = CallRaw(name, args);
  } else {
    result.error = error;
  }
  for (const AVS_Value& e : elements) avs_release_value(e);
  return result;
}

CallResult Environment::CallRaw(const std::string& name, const AVS_Value& args) {
  CallResult result;
  const auto it = env_->functions.find(Lower(name));
  if (it == env_->functions.end()) {
    result.error = "there is no function named " + name;
    return result;
  }
  const AVS_Value value = it->second.apply(env_, args, it->second.userData);
  // Copied, then the function's own value released, as the host does.
  if (value.type == sorvan::avs::kError) {
    result.error = value.d.string != nullptr ? value.d.string : "(null error)";
  } else if (value.type == sorvan::avs::kClip) {
    result.clip = Clip(NewHandle(static_cast<ClipHolder*>(value.d.clip)->clip));
  } else {
    result.error = "the function returned neither a clip nor an error";
  }
  avs_release_value(value);
  return result;
}

}  // namespace sorvan::avs_c_host

using namespace sorvan::avs_c_host;

extern "C" {

int32_t AVSC_CC avs_add_function(AVS_ScriptEnvironment* env, const char* name, const char* params, AVS_ApplyFunc apply,
                                 void* userData) {
  env->error = nullptr;
  if (name == nullptr || params == nullptr || apply == nullptr || ParseParameters(params).empty()) {
    env->error = Intern("avs_add_function: bad registration");
    return -1;
  }
  env->functions[Lower(name)] = {name, params, apply, userData};
  return 0;
}

int32_t AVSC_CC avs_check_version(AVS_ScriptEnvironment* env, int32_t version) {
  return env->interfaceVersion >= version ? 0 : -1;
}

char* AVSC_CC avs_save_string(AVS_ScriptEnvironment* /*env*/, const char* s, int32_t length) {
  const std::string text = length < 0 ? std::string(s) : std::string(s, static_cast<size_t>(length));
  return const_cast<char*>(Intern(text));
}

const char* AVSC_CC avs_get_error(AVS_ScriptEnvironment* env) { return env->error; }

}  // extern "C"
