// Our own minimal VapourSynth-style host (API 4): loads plug-ins through their entry point,
// calls their functions with argument maps after the same argument checks a real core makes,
// and asks filters for frames, from any number of threads at once.
//
// How to use it:
//   sorvan::vshost::Host host;                                  // reports API 4.0 to plug-ins
//   host.LoadPlugin("build/lib/libsorvan.so");                 // runs VapourSynthPluginInit2
//   sorvan::vshost::NodePtr source = host.SourceClip(vi, [](int n, VSFrame* f) { ...fill... });
//   sorvan::vshost::MapPtr args = sorvan::vshost::NewMap();
//   sorvan::vshost::SetNode(args.get(), "clip", source.get());
//   sorvan::vshost::SetInt(args.get(), "rad", 3);
//   sorvan::vshost::MapPtr out = host.Invoke("sorvan", "Sorvan", *args);  // error: ErrorOf(*out)
//   sorvan::vshost::NodePtr filtered = sorvan::vshost::GetNode(*out, "clip");
//   std::string error;
//   sorvan::vshost::FramePtr frame = host.GetFrame(filtered.get(), 0, &error);
//
// The host keeps a record of every breach of the interface's rules that a real core would
// punish (a frame returned together with an error, requests left open, a changed floating-point
// state, a slot a 4.0 plug-in may not call, ...) instead of ending the process: tests read
// Violations(). Every node and frame must be dropped before the host is destroyed.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "hosts/vapoursynth/argument_signature.h"
#include "hosts/vapoursynth/host_objects.h"
#include "hosts/vapoursynth/video_formats.h"

namespace sorvan::vshost {

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RegisteredFunction {
  std::string name;
  std::string arguments;
  std::string returnType;
  Signature signature;
  VSPublicFunction create;
  void* functionData;
};

}  // namespace sorvan::vshost

struct VSPlugin {
  std::string path;
  void* library = nullptr;
  bool configured = false;
  bool initialising = false;
  std::string identifier;
  std::string pluginNamespace;
  std::string name;
  int pluginVersion = 0;
  int apiVersion = 0;
  int flags = 0;
  std::vector<sorvan::vshost::RegisteredFunction> functions;
  sorvan::vshost::Host* host = nullptr;
};

struct VSCore {
  sorvan::vshost::Host* host;
};

namespace sorvan::vshost {

// What a filter node declared when it was made.
struct NodeDescription {
  std::string name;
  int filterMode;
  std::vector<int> requestPatterns;  // one per dependency
  std::vector<VSNode*> sources;
  int maxConcurrentCalls;  // most getFrame calls that overlapped on this node so far
};

class Host {
 public:
  // `apiVersion`: what getAPIVersion reports, and the highest minor a plug-in may declare.
  explicit Host(int apiVersion = VAPOURSYNTH_API_40);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const VSAPI* Api() const;
  VSCore* Core() { return &core_; }
  int ApiVersion() const { return apiVersion_; }

  // Opens the library, runs its entry point and keeps the plug-in; HostError with the reason when
  // the library, its entry point or its configuration is refused.
  const VSPlugin& LoadPlugin(const std::string& path);
  const VSPlugin* FindPlugin(const std::string& pluginNamespace) const;

  // Calls a plug-in function: the arguments are checked against its declaration first (a
  // failure comes back as the map's error, as from a real core), then its create function runs.
  MapPtr Invoke(const std::string& pluginNamespace, const std::string& function, const VSMap& arguments);

  // A clip of our own whose frame n the generator fills (any thread may call it).
  NodePtr SourceClip(const VSVideoInfo& vi, FrameGenerator generate);
  // A clip that declares `vi` but whose frames are what `make` returns (to feed filters frames
  // that break the declaration).
  NodePtr RawSourceClip(const VSVideoInfo& vi, FrameMaker make);

  // Frame n of the node, or null with the reason in *error. Any thread; several at once.
  FramePtr GetFrame(VSNode* node, int n, std::string* error);
  // The frames `numbers` asked for by `threads` threads at once, in the order of `numbers`.
  struct FrameResult {
    FramePtr frame;
    std::string error;
  };
  std::vector<FrameResult> GetFramesConcurrently(VSNode* node, const std::vector<int>& numbers, int threads);

  NodeDescription Describe(VSNode* node) const;

  // Breaches of the interface seen so far (by any host: the table is shared), and which slots
  // the plug-ins called; ResetSlotCounts clears both.
  std::vector<std::string> Violations() const;
  void RecordViolation(const std::string& what);
  std::vector<int> SlotsCalled() const;  // slot numbers called at least once
  void ResetSlotCounts();

  // Messages plug-ins logged.
  std::vector<std::string> LogMessages() const;
  void Log(int type, const std::string& message);

  // The table's implementations (api_table.cpp) reach the host through these.
  int ConfigPlugin(VSPlugin* plugin, const char* identifier, const char* pluginNamespace, const char* name,
                   int pluginVersion, int apiVersion, int flags);
  int RegisterFunction(VSPlugin* plugin, const char* name, const char* args, const char* returnType,
                       VSPublicFunction create, void* data);
  VSNode* CreateFilter(const char* name, const VSVideoInfo* vi, VSFilterGetFrame getFrame, VSFilterFree free,
                       int filterMode, const VSFilterDependency* dependencies, int numDeps, void* instanceData,
                       std::string* error);

 private:
  FramePtr MakeFilterFrame(VSNode* node, int n, std::string* error);

  int apiVersion_;
  VSCore core_;
  std::vector<std::unique_ptr<VSPlugin>> plugins_;
  mutable std::mutex mutex_;
  std::vector<std::string> log_;
};

// Slot call counts of every host (the table is shared); indices past the table are traps.
inline constexpr int kSlotsCounted = kVsApi41Slots;
std::array<std::atomic<int64_t>, kSlotsCounted>& SlotCounts();
const VSAPI* HostApiTable();
const VSPLUGINAPI* PluginApiTable();
// What getAPIVersion reports: the version of the host made last.
void SetReportedApiVersion(int version);
void RecordGlobalViolation(const std::string& what);
std::vector<std::string> RecordedViolations();
void ClearRecordedViolations();
// Calls of slots the host does not offer a plug-in (recorded as violations by every host).
std::array<std::atomic<int64_t>, kSlotsCounted>& TrapCounts();

// Map helpers for tests (the same operations the table offers plug-ins).
MapPtr NewMap();
void SetInt(VSMap* map, const std::string& key, int64_t value, bool append = false);
void SetFloat(VSMap* map, const std::string& key, double value, bool append = false);
void SetData(VSMap* map, const std::string& key, const std::string& value, bool append = false);
void SetNode(VSMap* map, const std::string& key, VSNode* node, bool append = false);
void SetEmpty(VSMap* map, const std::string& key, int type);
NodePtr GetNode(const VSMap& map, const std::string& key);
const char* ErrorOf(const VSMap& map);  // null when the map carries no error

}  // namespace sorvan::vshost
