#include "hosts/frameserver/frame_server.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "hosts/frameserver/frame_pool.h"
#include "hosts/frameserver/function_registry.h"

namespace sorvan::frameserver {
namespace {

// CPU flags of the 2.5 interface that every x86-64 processor has.
constexpr int kCpuFpu = 0x2, kCpuMmx = 0x4, kCpuIntegerSse = 0x8, kCpuSse = 0x10, kCpuSse2 = 0x20;

std::string FormatV(const char* fmt, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = vsnprintf(nullptr, 0, fmt, measure);
  va_end(measure);
  if (length < 0) return fmt;
  std::string text(static_cast<size_t>(length), '\0');
  vsnprintf(text.data(), text.size() + 1, fmt, args);
  return text;
}

using PluginEntry = const char* SORVAN_STDCALL (*)(IScriptEnvironment*);

}  // namespace

struct FrameServer::State {
  FunctionRegistry registry;
  FramePool pool;

  std::mutex stringMutex;
  std::deque<std::unique_ptr<char[]>> strings;

  std::mutex varMutex;
  std::map<std::string, AVSValue> vars;

  std::mutex pluginMutex;
  std::vector<void*> plugins;
  std::vector<std::pair<ShutdownFunc, void*>> atExit;

  std::mutex settingsMutex;
  int rowPadding = 16;
  int fill = -1;
  int memoryMax = 0;
};

FrameServer::FrameServer() : state_(std::make_unique<State>()) {}

// Shutdown order: the plug-ins' exit hooks, then every value that may hold a plug-in's clip,
// then the functions and frames, and only then the plug-ins' code.
FrameServer::~FrameServer() {
  for (auto it = state_->atExit.rbegin(); it != state_->atExit.rend(); ++it) it->first(it->second, this);
  state_->vars.clear();
  state_->registry.Clear();
  std::vector<void*> plugins = std::move(state_->plugins);
  state_.reset();
  for (auto it = plugins.rbegin(); it != plugins.rend(); ++it) dlclose(*it);
}

std::string FrameServer::LoadPlugin(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    throw ScriptError("cannot load plug-in \"" + path + "\": " + (reason ? reason : "unknown reason"));
  }
  void* symbol = dlsym(handle, "AvisynthPluginInit2");
  if (symbol == nullptr) {
    dlclose(handle);
    throw ScriptError("\"" + path + "\" is not a plug-in of interface version 3: no entry point AvisynthPluginInit2");
  }
  {
    // Kept loaded from here on: the entry point may register functions before it fails.
    std::lock_guard lock(state_->pluginMutex);
    state_->plugins.push_back(handle);
  }
  const char* text = reinterpret_cast<PluginEntry>(symbol)(this);
  return text ? text : "";
}

AVSValue FrameServer::Call(const std::string& name, const std::vector<AVSValue>& positional,
                           const std::vector<NamedArgument>& named) {
  const std::optional<ScriptFunction> function = state_->registry.Find(name);
  if (!function) throw ScriptError("there is no function named \"" + name + "\"");
  std::vector<BoundArgument> arguments;
  arguments.reserve(positional.size() + named.size());
  for (const AVSValue& value : positional) arguments.push_back({{}, value});
  for (const NamedArgument& argument : named) arguments.push_back({argument.name, argument.value});
  // Strings live as long as the server, since a function may keep them.
  for (BoundArgument& argument : arguments) {
    if (argument.value.IsString()) argument.value = AVSValue(SaveString(argument.value.AsString()));
  }
  const std::vector<AVSValue> bound = BindArguments(*function, arguments);
  const AVSValue args(bound.data(), static_cast<int>(bound.size()));
  return function->apply(args, function->userData, this);
}

PClip FrameServer::InvokeClip(const std::string& name, const std::vector<AVSValue>& positional,
                              const std::vector<NamedArgument>& named) {
  const AVSValue result = Call(name, positional, named);
  if (!result.IsClip() || !result.AsClip()) throw ScriptError(name + " did not return a clip");
  return result.AsClip();
}

void FrameServer::SetRowPadding(int bytes) {
  std::lock_guard lock(state_->settingsMutex);
  state_->rowPadding = bytes > 0 ? bytes : 0;
}

void FrameServer::SetFrameFill(int byte) {
  std::lock_guard lock(state_->settingsMutex);
  state_->fill = byte >= 0 ? (byte & 0xFF) : -1;
}

FramePoolStats FrameServer::PoolStats() const { return {state_->pool.FramesAllocated(), state_->pool.FramesInUse()}; }

int SORVAN_STDCALL FrameServer::GetCPUFlags() {
#if defined(__x86_64__)
  return kCpuFpu | kCpuMmx | kCpuIntegerSse | kCpuSse | kCpuSse2;
#else
  return 0;
#endif
}

char* SORVAN_STDCALL FrameServer::SaveString(const char* s, int length) {
  if (s == nullptr) return nullptr;
  const size_t n = length >= 0 ? strnlen(s, static_cast<size_t>(length)) : strlen(s);
  auto copy = std::make_unique<char[]>(n + 1);
  memcpy(copy.get(), s, n);
  copy[n] = '\0';
  std::lock_guard lock(state_->stringMutex);
  state_->strings.push_back(std::move(copy));
  return state_->strings.back().get();
}

char* SORVAN_CDECL FrameServer::Sprintf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const std::string text = FormatV(fmt, args);
  va_end(args);
  return SaveString(text.c_str());
}

char* SORVAN_STDCALL FrameServer::VSprintf(const char* fmt, void* val) {
#if defined(__x86_64__)
  // The caller's va_list is an array of one record; `val` is what it decayed to.
  va_list args;
  va_copy(args, *static_cast<va_list*>(val));
  const std::string text = FormatV(fmt, args);
  va_end(args);
  return SaveString(text.c_str());
#elif defined(__i386__)
  return SaveString(FormatV(fmt, static_cast<va_list>(val)).c_str());
#else
  (void)val;
  ThrowError("VSprintf (\"%s\") is not supported on this platform", fmt);
#endif
}

void SORVAN_CDECL FrameServer::ThrowError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatV(fmt, args);
  va_end(args);
  throw ScriptError(text);
}

void SORVAN_STDCALL FrameServer::AddFunction(const char* name, const char* params, ApplyFunc apply, void* user_data) {
  if (name == nullptr || params == nullptr || apply == nullptr)
    throw ScriptError("AddFunction: missing name, parameters or function");
  ScriptFunction function;
  function.name = name;
  function.params = params;
  function.parameters = ParseParameters(name, params);
  function.apply = apply;
  function.userData = user_data;
  state_->registry.Add(std::move(function));
}

bool SORVAN_STDCALL FrameServer::FunctionExists(const char* name) {
  return name != nullptr && state_->registry.Find(name).has_value();
}

AVSValue SORVAN_STDCALL FrameServer::Invoke(const char* name, const AVSValue args, const char** arg_names) {
  if (name == nullptr) ThrowError("Invoke: no function name");
  std::vector<AVSValue> positional;
  std::vector<NamedArgument> named;
  for (int i = 0; i < args.ArraySize(); ++i) {
    const char* argumentName = arg_names != nullptr ? arg_names[i] : nullptr;
    if (argumentName != nullptr) {
      named.push_back({argumentName, args[i]});
    } else {
      positional.push_back(args[i]);
    }
  }
  return Call(name, positional, named);
}

AVSValue SORVAN_STDCALL FrameServer::GetVar(const char* name) {
  std::lock_guard lock(state_->varMutex);
  const auto it = name != nullptr ? state_->vars.find(name) : state_->vars.end();
  if (it == state_->vars.end())
    throw ScriptError(std::string("variable \"") + (name ? name : "") + "\" is not defined");
  return it->second;
}

bool SORVAN_STDCALL FrameServer::SetVar(const char* name, const AVSValue& val) {
  if (name == nullptr) return false;
  const AVSValue stored = val.IsString() ? AVSValue(SaveString(val.AsString())) : val;
  std::lock_guard lock(state_->varMutex);
  state_->vars.insert_or_assign(name, stored);
  return true;
}

// There are no script scopes here: global and local variables are one set.
bool SORVAN_STDCALL FrameServer::SetGlobalVar(const char* name, const AVSValue& val) { return SetVar(name, val); }
void SORVAN_STDCALL FrameServer::PushContext(int) {}
void SORVAN_STDCALL FrameServer::PopContext() {}

PVideoFrame SORVAN_STDCALL FrameServer::NewVideoFrame(const VideoInfo& vi, int align) {
  int padding = 0;
  int fill = -1;
  {
    std::lock_guard lock(state_->settingsMutex);
    padding = state_->rowPadding;
    fill = state_->fill;
  }
  return state_->pool.NewFrame(ComputeFrameGeometry(vi, align, padding), fill);
}

bool SORVAN_STDCALL FrameServer::MakeWritable(PVideoFrame* pvf) {
  if (pvf == nullptr || !*pvf || (*pvf)->IsWritable()) return false;
  const VideoFrame& old = *pvf->get();
  FrameGeometry g{old.offset,  old.pitch,   old.row_size, old.height,
                  old.offsetU, old.offsetV, old.pitchUV,  old.vfb->data_size};
  PVideoFrame copy = state_->pool.NewFrame(g, -1);
  memcpy(copy->vfb->data, old.vfb->data, static_cast<size_t>(old.vfb->data_size));
  *pvf = copy;
  return true;
}

void SORVAN_STDCALL FrameServer::BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch, int row_size,
                                        int height) {
  if (row_size <= 0 || height <= 0) return;
  if (dst_pitch == row_size && src_pitch == row_size) {
    memcpy(dstp, srcp, static_cast<size_t>(row_size) * static_cast<size_t>(height));
    return;
  }
  for (int y = 0; y < height; ++y) {
    memcpy(dstp + static_cast<ptrdiff_t>(y) * dst_pitch, srcp + static_cast<ptrdiff_t>(y) * src_pitch,
           static_cast<size_t>(row_size));
  }
}

void SORVAN_STDCALL FrameServer::AtExit(ShutdownFunc function, void* user_data) {
  if (function == nullptr) return;
  std::lock_guard lock(state_->pluginMutex);
  state_->atExit.emplace_back(function, user_data);
}

void SORVAN_STDCALL FrameServer::CheckVersion(int version) {
  if (version > AVISYNTH_INTERFACE_VERSION) {
    ThrowError("plug-in interface version %d requested; this frame server provides version %d", version,
               AVISYNTH_INTERFACE_VERSION);
  }
}

PVideoFrame SORVAN_STDCALL FrameServer::Subframe(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                                 int new_height) {
  if (!src) ThrowError("Subframe: no frame");
  FrameGeometry g{
      src->offset + rel_offset, new_pitch, new_row_size, new_height, src->offsetU, src->offsetV, src->pitchUV,
      src->vfb->data_size};
  return state_->pool.NewView(*src.get(), g);
}

PVideoFrame SORVAN_STDCALL FrameServer::SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                                       int new_height, int rel_offsetU, int rel_offsetV,
                                                       int new_pitchUV) {
  if (!src) ThrowError("SubframePlanar: no frame");
  FrameGeometry g{src->offset + rel_offset,   new_pitch,   new_row_size,       new_height, src->offsetU + rel_offsetU,
                  src->offsetV + rel_offsetV, new_pitchUV, src->vfb->data_size};
  return state_->pool.NewView(*src.get(), g);
}

// The pool grows with the frames in use and has no cap to set; the value is kept and returned.
int SORVAN_STDCALL FrameServer::SetMemoryMax(int mem) {
  std::lock_guard lock(state_->settingsMutex);
  if (mem > 0) state_->memoryMax = mem;
  return state_->memoryMax;
}

// Changing the process's directory would disturb other threads; refused.
int SORVAN_STDCALL FrameServer::SetWorkingDir(const char*) { return -1; }

// No frame cache here.
void* SORVAN_STDCALL FrameServer::ManageCache(int, void*) { return nullptr; }

// Chroma planes always start on 64-byte boundaries; there is no other mode.
bool SORVAN_STDCALL FrameServer::PlanarChromaAlignment(PlanarChromaAlignmentMode) { return true; }

}  // namespace sorvan::frameserver
