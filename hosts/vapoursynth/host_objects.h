// What the test host's handles are: maps of typed values, counted frames whose planes are
// shared copy-on-write, and counted nodes (our source clips and plug-ins' filters). The plug-in
// sees only pointers to these; the host's table functions and the Host class work on them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "plugin/vapoursynth/vapoursynth_interface.h"

namespace sorvan::vshost {

class Host;

// Objects alive in the process, so that tests see every reference a plug-in failed to drop.
struct LiveCounts {
  int64_t frames;
  int64_t nodes;
  int64_t maps;
  int64_t filterInstancesFreed;  // free callbacks run
};
LiveCounts CurrentLiveCounts();

// Counted references that drop their object when they go.
struct FrameRelease {
  void operator()(const VSFrame* f) const;
};
struct NodeRelease {
  void operator()(VSNode* n) const;
};
struct MapRelease {
  void operator()(VSMap* m) const;
};
using FramePtr = std::unique_ptr<const VSFrame, FrameRelease>;
using WritableFramePtr = std::unique_ptr<VSFrame, FrameRelease>;
using NodePtr = std::unique_ptr<VSNode, NodeRelease>;
using MapPtr = std::unique_ptr<VSMap, MapRelease>;

FramePtr AddRef(const VSFrame* f);
NodePtr AddRef(VSNode* n);

}  // namespace sorvan::vshost

// ---- Maps ----
struct VSMapData {
  std::string bytes;
  int hint;
};
using VSMapValue = std::variant<int64_t, double, VSMapData, sorvan::vshost::NodePtr, sorvan::vshost::FramePtr>;

struct VSMapEntry {
  std::string key;
  int type;  // VSPropertyType
  std::vector<VSMapValue> values;
};

struct VSMap {
  VSMap();
  VSMap(const VSMap& other);
  VSMap& operator=(const VSMap& other);
  ~VSMap();

  VSMapEntry* Find(const std::string& key);
  const VSMapEntry* Find(const std::string& key) const;
  // Sets (append false) or appends a value; false when an existing key holds another type.
  bool Put(const std::string& key, int type, VSMapValue value, bool append);

  std::vector<VSMapEntry> entries;  // in insertion order
  bool hasError = false;
  std::string error;
};

// ---- Frames ----
namespace sorvan::vshost {

// One plane's memory: exactly stride × height bytes, so that a read past the last row is caught
// by the address sanitizer.
struct PlaneBuffer {
  PlaneBuffer(ptrdiff_t stride, int height);
  ~PlaneBuffer();
  PlaneBuffer(const PlaneBuffer&) = delete;
  PlaneBuffer& operator=(const PlaneBuffer&) = delete;

  uint8_t* data;
  size_t bytes;
};

}  // namespace sorvan::vshost

struct VSFrame {
  std::atomic<int> refs{1};
  VSVideoFormat format{};
  int width = 0;
  int height = 0;
  std::shared_ptr<sorvan::vshost::PlaneBuffer> planes[3];
  ptrdiff_t strides[3] = {};
  VSMap properties;

  VSFrame();
  ~VSFrame();
  int PlaneWidth(int p) const { return p == 0 ? width : width >> format.subSamplingW; }
  int PlaneHeight(int p) const { return p == 0 ? height : height >> format.subSamplingH; }
};

namespace sorvan::vshost {

// Rows are padded to this many bytes, as the real core does at the least.
inline constexpr ptrdiff_t kRowAlignment = 64;

// A new frame with fresh, unshared planes filled with `fill`; null for an invalid format or size.
WritableFramePtr NewFrame(const VSVideoFormat& format, int width, int height, const VSFrame* propertySource,
                          uint8_t fill = 0);
// The plane made writable: copied first when another frame shares it.
uint8_t* WritablePlane(VSFrame* frame, int plane);

// Source of our own clips: fills frame n (planes and properties) of a fresh frame of the clip's
// format and size. Throwing HostError (vapoursynth_host.h) fails the request with its message.
using FrameGenerator = std::function<void(int n, VSFrame* frame)>;
// A source that makes its frames itself, of any format and size.
using FrameMaker = std::function<WritableFramePtr(int n)>;

}  // namespace sorvan::vshost

// ---- Nodes ----
struct VSNode {
  std::atomic<int> refs{1};
  VSVideoInfo vi{};
  std::string name;
  sorvan::vshost::Host* host = nullptr;

  // Our source clip
  sorvan::vshost::FrameMaker makeFrame;

  // A plug-in's filter
  VSFilterGetFrame getFrame = nullptr;
  VSFilterFree free = nullptr;
  int filterMode = fmParallel;
  void* instanceData = nullptr;
  std::vector<VSFilterDependency> dependencies;  // the host holds a reference to each source

  // Serialises the calls that the filter's mode does not allow to overlap; tracks overlap.
  std::mutex serial;
  std::mutex inFlightMutex;
  std::condition_variable inFlightDone;
  std::vector<int> inFlight;  // frame numbers being made now
  std::atomic<int> concurrentCalls{0};
  std::atomic<int> maxConcurrentCalls{0};

  VSNode();
  ~VSNode();
  bool IsFilter() const { return getFrame != nullptr; }
};

// The context of one output frame while a filter makes it.
struct VSFrameContext {
  VSNode* node = nullptr;
  std::vector<std::pair<VSNode*, int>> requested;
  std::vector<std::pair<std::pair<VSNode*, int>, sorvan::vshost::FramePtr>> ready;
  bool hasError = false;
  std::string error;
};
