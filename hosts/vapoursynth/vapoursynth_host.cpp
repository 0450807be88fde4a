#include "hosts/vapoursynth/vapoursynth_host.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <thread>

#include "hosts/dynamic_library.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace sorvan::vshost {
namespace {

// The x86 floating-point state every call into a plug-in must leave as it found it: all
// exceptions masked, rounding to nearest (flush-to-zero and denormals-are-zero not checked).
bool FloatingPointStateIsClean() {
#if defined(__x86_64__) || defined(__i386__)
  return (_mm_getcsr() & 0x7f80u) == 0x1f80u;
#else
  return true;
#endif
}

std::string VersionText(int version) {
  return "R" + std::to_string(version >> 16) + "." + std::to_string(version & 0xffff);
}

// Counts the calls that overlap on one node while the object lives.
class CallScope {
 public:
  explicit CallScope(VSNode* node) : node_(node) {
    const int now = node_->concurrentCalls.fetch_add(1) + 1;
    int seen = node_->maxConcurrentCalls.load();
    while (now > seen && !node_->maxConcurrentCalls.compare_exchange_weak(seen, now)) {
    }
  }
  ~CallScope() { node_->concurrentCalls.fetch_sub(1); }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  VSNode* node_;
};

// The core never makes the same frame of a node twice at once.
class FrameClaim {
 public:
  FrameClaim(VSNode* node, int n) : node_(node), n_(n) {
    std::unique_lock lock(node_->inFlightMutex);
    node_->inFlightDone.wait(
        lock, [&] { return std::find(node_->inFlight.begin(), node_->inFlight.end(), n_) == node_->inFlight.end(); });
    node_->inFlight.push_back(n_);
  }
  ~FrameClaim() {
    {
      std::lock_guard lock(node_->inFlightMutex);
      node_->inFlight.erase(std::find(node_->inFlight.begin(), node_->inFlight.end(), n_));
    }
    node_->inFlightDone.notify_all();
  }
  FrameClaim(const FrameClaim&) = delete;
  FrameClaim& operator=(const FrameClaim&) = delete;

 private:
  VSNode* node_;
  int n_;
};

bool SameFormat(const VSVideoFormat& a, const VSVideoFormat& b) {
  return a.colorFamily == b.colorFamily && a.sampleType == b.sampleType && a.bitsPerSample == b.bitsPerSample &&
         a.bytesPerSample == b.bytesPerSample && a.subSamplingW == b.subSamplingW && a.subSamplingH == b.subSamplingH &&
         a.numPlanes == b.numPlanes;
}

}  // namespace

Host::Host(int apiVersion) : apiVersion_(apiVersion), core_{this} { SetReportedApiVersion(apiVersion); }

Host::~Host() {
  for (auto& plugin : plugins_) {
    if (plugin->library != nullptr) hosts::CloseLibrary(plugin->library);
  }
}

const VSAPI* Host::Api() const { return HostApiTable(); }

const VSPlugin& Host::LoadPlugin(const std::string& path) {
  std::string reason;
  void* library = hosts::OpenLibrary(path, &reason);
  if (library == nullptr) throw HostError("Failed to load " + path + ": " + reason);
  auto init = reinterpret_cast<VSInitPlugin>(hosts::LibrarySymbol(library, "VapourSynthPluginInit2"));
  if (init == nullptr) {
    hosts::CloseLibrary(library);
    throw HostError("No entry point found in " + path);
  }
  auto plugin = std::make_unique<VSPlugin>();
  plugin->path = path;
  plugin->library = library;
  plugin->host = this;
  plugin->initialising = true;
  init(plugin.get(), PluginApiTable());
  plugin->initialising = false;
  if (!FloatingPointStateIsClean()) RecordViolation("the entry point left the floating-point state changed");

  const int major = plugin->apiVersion >> 16;
  const int minor = plugin->apiVersion & 0xffff;
  if (!plugin->configured || major != VAPOURSYNTH_API_MAJOR || minor > (apiVersion_ & 0xffff)) {
    hosts::CloseLibrary(library);
    throw HostError("Core only supports API " + VersionText(apiVersion_) + " but the loaded plugin requires API " +
                    VersionText(plugin->apiVersion) + "; Filename: " + path);
  }
  std::lock_guard lock(mutex_);
  for (const auto& other : plugins_) {
    if (other->identifier == plugin->identifier || other->pluginNamespace == plugin->pluginNamespace) {
      hosts::CloseLibrary(library);
      throw HostError("Plugin " + path + " already loaded (" + plugin->identifier + ") or namespace " +
                      plugin->pluginNamespace + " already populated");
    }
  }
  plugins_.push_back(std::move(plugin));
  return *plugins_.back();
}

const VSPlugin* Host::FindPlugin(const std::string& pluginNamespace) const {
  std::lock_guard lock(mutex_);
  for (const auto& plugin : plugins_) {
    if (plugin->pluginNamespace == pluginNamespace) return plugin.get();
  }
  return nullptr;
}

MapPtr Host::Invoke(const std::string& pluginNamespace, const std::string& function, const VSMap& arguments) {
  MapPtr out = NewMap();
  const VSPlugin* plugin = FindPlugin(pluginNamespace);
  const RegisteredFunction* target = nullptr;
  if (plugin != nullptr) {
    for (const RegisteredFunction& f : plugin->functions) {
      if (f.name == function) target = &f;
    }
  }
  if (target == nullptr) {
    out->hasError = true;
    out->error = "No function named " + pluginNamespace + "." + function;
    return out;
  }
  const std::string refusal = CheckArguments(function, target->signature, arguments);
  if (!refusal.empty()) {
    out->hasError = true;
    out->error = refusal;
    return out;
  }
  // The plug-in gets a map that lives only for the call, as from a real core.
  {
    VSMap in(arguments);
    target->create(&in, out.get(), target->functionData, &core_, Api());
  }
  if (!FloatingPointStateIsClean()) RecordViolation(function + " left the floating-point state changed");
  return out;
}

NodePtr Host::SourceClip(const VSVideoInfo& vi, FrameGenerator generate) {
  return RawSourceClip(vi, [vi, generate = std::move(generate)](int n) {
    WritableFramePtr frame = NewFrame(vi.format, vi.width, vi.height, nullptr);
    if (!frame) throw HostError("the source clip has no constant format and size");
    generate(n, frame.get());
    return frame;
  });
}

NodePtr Host::RawSourceClip(const VSVideoInfo& vi, FrameMaker make) {
  NodePtr node(new VSNode);
  node->vi = vi;
  node->name = "SourceClip";
  node->host = this;
  node->makeFrame = std::move(make);
  return node;
}

VSNode* Host::CreateFilter(const char* name, const VSVideoInfo* vi, VSFilterGetFrame getFrame, VSFilterFree free,
                           int filterMode, const VSFilterDependency* dependencies, int numDeps, void* instanceData,
                           std::string* error) {
  if (name == nullptr || vi == nullptr || getFrame == nullptr || numDeps < 0 || (numDeps > 0 && !dependencies)) {
    RecordViolation("createVideoFilter called with a null argument");
    *error = "createVideoFilter: null argument";
    return nullptr;
  }
  const bool formatOk = IsValidVideoFormat(vi->format) || vi->format.colorFamily == cfUndefined;
  const bool sizeOk = (vi->width == 0 && vi->height == 0) || (vi->width > 0 && vi->height > 0);
  const bool rateOk = (vi->fpsNum == 0 && vi->fpsDen == 0) ||
                      (vi->fpsNum > 0 && vi->fpsDen > 0 && std::gcd(vi->fpsNum, vi->fpsDen) == 1);
  if (!formatOk || !sizeOk || !rateOk || vi->numFrames < 1) {
    *error = std::string(name) + ": the filter's video info is invalid";
    return nullptr;
  }
  if (filterMode < fmParallel || filterMode > fmFrameState) {
    RecordViolation(std::string(name) + ": filter mode " + std::to_string(filterMode) + " does not exist");
    *error = std::string(name) + ": invalid filter mode";
    return nullptr;
  }
  auto* node = new VSNode;
  node->vi = *vi;
  node->name = name;
  node->host = this;
  node->getFrame = getFrame;
  node->free = free;
  node->filterMode = filterMode;
  node->instanceData = instanceData;
  for (int i = 0; i < numDeps; ++i) {
    node->dependencies.push_back({AddRef(dependencies[i].source).release(), dependencies[i].requestPattern});
  }
  return node;
}

FramePtr Host::GetFrame(VSNode* node, int n, std::string* error) {
  if (node == nullptr) {
    *error = "no node";
    return nullptr;
  }
  if (n < 0) {
    *error = "Invalid frame number " + std::to_string(n) + " requested";
    return nullptr;
  }
  n = std::min(n, node->vi.numFrames - 1);
  if (!node->IsFilter()) {
    try {
      WritableFramePtr frame = node->makeFrame(n);
      if (!frame) *error = "the source clip made no frame";
      return FramePtr(frame.release());
    } catch (const HostError& e) {
      *error = e.what();
      return nullptr;
    }
  }
  return MakeFilterFrame(node, n, error);
}

FramePtr Host::MakeFilterFrame(VSNode* node, int n, std::string* error) {
  FrameClaim claim(node, n);
  std::unique_lock whole(node->serial, std::defer_lock);
  if (node->filterMode == fmUnordered || node->filterMode == fmFrameState) whole.lock();

  void* frameData[4] = {};
  VSFrameContext context;
  context.node = node;
  auto call = [&](int reason) {
    std::unique_lock ready(node->serial, std::defer_lock);
    if (node->filterMode == fmParallelRequests && reason != arInitial) ready.lock();
    CallScope scope(node);
    const VSFrame* result = node->getFrame(n, reason, node->instanceData, frameData, &context, &core_, Api());
    if (!FloatingPointStateIsClean()) RecordViolation(node->name + " left the floating-point state changed");
    return FramePtr(result);
  };

  FramePtr result = call(arInitial);
  for (int rounds = 0;; ++rounds) {
    context.ready.clear();  // frames the filter did not take are dropped, as the core does
    if (result && context.hasError) RecordViolation(node->name + " returned a frame and set an error");
    if (result && !context.requested.empty()) RecordViolation(node->name + " returned a frame with requests open");
    if (result) {
      if (!SameFormat(result->format, node->vi.format) || result->width != node->vi.width ||
          result->height != node->vi.height) {
        RecordViolation(node->name + " returned a frame of another format or size than it declared");
      }
      return result;
    }
    if (context.hasError) {
      *error = context.error;
      return nullptr;
    }
    if (context.requested.empty() || rounds > 16) {
      RecordViolation(node->name + " returned no frame, no error and no request");
      *error = node->name + ": no frame";
      return nullptr;
    }
    std::vector<std::pair<VSNode*, int>> wanted;
    wanted.swap(context.requested);
    for (const auto& [source, k] : wanted) {
      std::string inputError;
      FramePtr input = GetFrame(source, k, &inputError);
      if (!input) {
        context.hasError = true;
        context.error = inputError;
        context.ready.clear();
        FramePtr late = call(arError);
        if (late) RecordViolation(node->name + " returned a frame on arError");
        *error = context.error;
        return nullptr;
      }
      context.ready.emplace_back(std::make_pair(source, std::min(k, source->vi.numFrames - 1)), std::move(input));
    }
    result = call(arAllFramesReady);
  }
}

std::vector<Host::FrameResult> Host::GetFramesConcurrently(VSNode* node, const std::vector<int>& numbers, int threads) {
  std::vector<FrameResult> results(numbers.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (size_t i = next.fetch_add(1); i < numbers.size(); i = next.fetch_add(1)) {
        results[i].frame = GetFrame(node, numbers[i], &results[i].error);
      }
    });
  }
  for (std::thread& w : workers) w.join();
  return results;
}

NodeDescription Host::Describe(VSNode* node) const {
  NodeDescription d{node->name, node->filterMode, {}, {}, node->maxConcurrentCalls.load()};
  for (const VSFilterDependency& dep : node->dependencies) {
    d.requestPatterns.push_back(dep.requestPattern);
    d.sources.push_back(dep.source);
  }
  return d;
}

std::vector<std::string> Host::Violations() const {
  std::vector<std::string> all = RecordedViolations();
  for (int slot = 0; slot < kSlotsCounted; ++slot) {
    if (TrapCounts()[slot].load() > 0) all.push_back("called slot " + std::to_string(slot) + ", which it may not use");
  }
  return all;
}

void Host::RecordViolation(const std::string& what) { RecordGlobalViolation(what); }

std::vector<int> Host::SlotsCalled() const {
  std::vector<int> slots;
  for (int slot = 0; slot < kSlotsCounted; ++slot) {
    if (SlotCounts()[slot].load() > 0 || TrapCounts()[slot].load() > 0) slots.push_back(slot);
  }
  return slots;
}

void Host::ResetSlotCounts() {
  ClearRecordedViolations();
  for (auto& c : SlotCounts()) c.store(0);
  for (auto& c : TrapCounts()) c.store(0);
}

std::vector<std::string> Host::LogMessages() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void Host::Log(int type, const std::string& message) {
  std::lock_guard lock(mutex_);
  log_.push_back(std::to_string(type) + ": " + message);
}

int Host::ConfigPlugin(VSPlugin* plugin, const char* identifier, const char* pluginNamespace, const char* name,
                       int pluginVersion, int apiVersion, int flags) {
  if (plugin == nullptr || identifier == nullptr || pluginNamespace == nullptr || name == nullptr) {
    RecordViolation("configPlugin called with a null argument");
    return 0;
  }
  if (plugin->configured) {
    RecordViolation("Attempted to configure plugin " + std::string(identifier) + " twice");
    return 0;
  }
  if ((flags & ~pcModifiable) != 0) {
    RecordViolation("configPlugin: unknown flags " + std::to_string(flags));
    return 0;
  }
  plugin->configured = true;
  plugin->identifier = identifier;
  plugin->pluginNamespace = pluginNamespace;
  plugin->name = name;
  plugin->pluginVersion = pluginVersion;
  plugin->apiVersion = apiVersion < 0x10000 ? apiVersion << 16 : apiVersion;  // a bare major number
  plugin->flags = flags;
  return 1;
}

int Host::RegisterFunction(VSPlugin* plugin, const char* name, const char* args, const char* returnType,
                           VSPublicFunction create, void* data) {
  if (plugin == nullptr || name == nullptr || args == nullptr || returnType == nullptr || create == nullptr) {
    RecordViolation("registerFunction called with a null argument");
    return 0;
  }
  if (!plugin->initialising && (plugin->flags & pcModifiable) == 0) {
    Log(mtCritical, "API MISUSE! Tried to register function " + std::string(name) + " after loading");
    return 0;
  }
  if (!plugin->configured) {
    Log(mtCritical, std::string("Function ") + name + " registered before the plug-in was configured");
    return 0;
  }
  ParsedSignature parsed = ParseSignature(args);
  ParsedSignature parsedReturn = ParseSignature(returnType);
  bool validName = std::isalpha(static_cast<unsigned char>(name[0])) != 0;
  for (const char* c = name; *c; ++c)
    validName = validName && (std::isalnum(static_cast<unsigned char>(*c)) || *c == '_');
  if (!parsed.signature || !parsedReturn.signature || !validName) {
    Log(mtCritical,
        std::string("Function ") + name + " has an invalid signature: " + parsed.error + parsedReturn.error);
    return 0;
  }
  for (const RegisteredFunction& f : plugin->functions) {
    if (f.name == name) {
      Log(mtCritical, std::string("Function ") + name + " registered twice");
      return 0;
    }
  }
  plugin->functions.push_back({name, args, returnType, *parsed.signature, create, data});
  return 1;
}

// ---- map helpers ----
MapPtr NewMap() { return MapPtr(new VSMap); }
void SetInt(VSMap* map, const std::string& key, int64_t value, bool append) { map->Put(key, ptInt, value, append); }
void SetFloat(VSMap* map, const std::string& key, double value, bool append) { map->Put(key, ptFloat, value, append); }
void SetData(VSMap* map, const std::string& key, const std::string& value, bool append) {
  map->Put(key, ptData, VSMapData{value, dtUtf8}, append);
}
void SetNode(VSMap* map, const std::string& key, VSNode* node, bool append) {
  map->Put(key, ptVideoNode, AddRef(node), append);
}
void SetEmpty(VSMap* map, const std::string& key, int type) { map->entries.push_back({key, type, {}}); }
NodePtr GetNode(const VSMap& map, const std::string& key) {
  const VSMapEntry* entry = map.Find(key);
  if (entry == nullptr || entry->values.empty()) return nullptr;
  const auto* node = std::get_if<NodePtr>(&entry->values[0]);
  return node ? AddRef(node->get()) : nullptr;
}
const char* ErrorOf(const VSMap& map) { return map.hasError ? map.error.c_str() : nullptr; }

}  // namespace sorvan::vshost
