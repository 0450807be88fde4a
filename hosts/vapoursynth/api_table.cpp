// The two function tables the host hands plug-ins. Every slot counts its calls; the slots the
// host does not offer (audio, function objects, core management, everything of API 4.1) are
// traps that record the call and return zero, so a test sees a plug-in reach for them.
#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

#include "hosts/vapoursynth/vapoursynth_host.h"

namespace sorvan::vshost {
namespace {

std::atomic<int> reportedApiVersion{VAPOURSYNTH_API_40};
std::mutex violationsMutex;
std::vector<std::string>& ViolationList() {
  static std::vector<std::string> list;
  return list;
}

template <int Slot, auto Fn>
struct Counted;
template <int Slot, typename R, typename... A, R (*Fn)(A...) noexcept>
struct Counted<Slot, Fn> {
  static R SORVAN_VS_CC Call(A... a) noexcept {
    SlotCounts()[Slot].fetch_add(1, std::memory_order_relaxed);
    return Fn(a...);
  }
};

template <int Slot, typename F>
struct Trap;
template <int Slot, typename R, typename... A>
struct Trap<Slot, R(SORVAN_VS_CC*)(A...) noexcept> {
  static R SORVAN_VS_CC Call(A...) noexcept {
    TrapCounts()[Slot].fetch_add(1, std::memory_order_relaxed);
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

Host* HostOf(VSCore* core) { return core != nullptr ? core->host : nullptr; }

// ---- nodes ----
void FreeNode(VSNode* node) noexcept { NodeRelease()(node); }
VSNode* AddNodeRef(VSNode* node) noexcept { return AddRef(node).release(); }
int GetNodeType(VSNode*) noexcept { return mtVideo; }
const VSVideoInfo* GetVideoInfo(VSNode* node) noexcept { return node ? &node->vi : nullptr; }

VSNode* CreateVideoFilter2(const char* name, const VSVideoInfo* vi, VSFilterGetFrame getFrame, VSFilterFree free,
                           int filterMode, const VSFilterDependency* deps, int numDeps, void* instanceData,
                           VSCore* core) noexcept {
  std::string error;
  return HostOf(core)->CreateFilter(name, vi, getFrame, free, filterMode, deps, numDeps, instanceData, &error);
}

void CreateVideoFilter(VSMap* out, const char* name, const VSVideoInfo* vi, VSFilterGetFrame getFrame,
                       VSFilterFree free, int filterMode, const VSFilterDependency* deps, int numDeps,
                       void* instanceData, VSCore* core) noexcept {
  std::string error;
  VSNode* node = HostOf(core)->CreateFilter(name, vi, getFrame, free, filterMode, deps, numDeps, instanceData, &error);
  if (node == nullptr) {
    out->entries.clear();
    out->hasError = true;
    out->error = error;
    return;
  }
  out->Put("clip", ptVideoNode, NodePtr(node), true);
}

// ---- frames ----
VSFrame* NewVideoFrame(const VSVideoFormat* format, int width, int height, const VSFrame* propSrc, VSCore*) noexcept {
  if (format == nullptr) return nullptr;
  WritableFramePtr frame = NewFrame(*format, width, height, propSrc, 0xcd);
  if (!frame) RecordGlobalViolation("newVideoFrame with an invalid format or size");
  return frame.release();
}

VSFrame* NewVideoFrame2(const VSVideoFormat* format, int width, int height, const VSFrame** planeSrc, const int* planes,
                        const VSFrame* propSrc, VSCore*) noexcept {
  if (format == nullptr || planeSrc == nullptr || planes == nullptr) {
    RecordGlobalViolation("newVideoFrame2 with a null argument");
    return nullptr;
  }
  WritableFramePtr frame = NewFrame(*format, width, height, propSrc, 0xcd);
  if (!frame) {
    RecordGlobalViolation("newVideoFrame2 with an invalid format or size");
    return nullptr;
  }
  for (int p = 0; p < format->numPlanes; ++p) {
    const VSFrame* source = planeSrc[p];
    if (source == nullptr) continue;
    const int q = planes[p];
    if (q < 0 || q >= source->format.numPlanes || source->PlaneWidth(q) != frame->PlaneWidth(p) ||
        source->PlaneHeight(q) != frame->PlaneHeight(p) ||
        source->format.bytesPerSample != frame->format.bytesPerSample) {
      RecordGlobalViolation("newVideoFrame2 shares a plane of another size");
      return nullptr;
    }
    frame->planes[p] = source->planes[q];
    frame->strides[p] = source->strides[q];
  }
  return frame.release();
}

void FreeFrame(const VSFrame* f) noexcept { FrameRelease()(f); }
const VSFrame* AddFrameRef(const VSFrame* f) noexcept { return AddRef(f).release(); }

VSFrame* CopyFrame(const VSFrame* f, VSCore*) noexcept {
  if (f == nullptr) return nullptr;
  auto* copy = new VSFrame;
  copy->format = f->format;
  copy->width = f->width;
  copy->height = f->height;
  for (int p = 0; p < 3; ++p) {
    copy->planes[p] = f->planes[p];
    copy->strides[p] = f->strides[p];
  }
  copy->properties = f->properties;
  return copy;
}

const VSMap* GetFramePropertiesRO(const VSFrame* f) noexcept { return f ? &f->properties : nullptr; }
VSMap* GetFramePropertiesRW(VSFrame* f) noexcept { return f ? &f->properties : nullptr; }
bool HasPlane(const VSFrame* f, int plane) { return f != nullptr && plane >= 0 && plane < f->format.numPlanes; }
ptrdiff_t GetStride(const VSFrame* f, int plane) noexcept { return HasPlane(f, plane) ? f->strides[plane] : 0; }
const uint8_t* GetReadPtr(const VSFrame* f, int plane) noexcept {
  return HasPlane(f, plane) ? f->planes[plane]->data : nullptr;
}
uint8_t* GetWritePtr(VSFrame* f, int plane) noexcept { return WritablePlane(f, plane); }
const VSVideoFormat* GetVideoFrameFormat(const VSFrame* f) noexcept { return f ? &f->format : nullptr; }
int GetFrameType(const VSFrame*) noexcept { return mtVideo; }
int GetFrameWidth(const VSFrame* f, int plane) noexcept { return HasPlane(f, plane) ? f->PlaneWidth(plane) : 0; }
int GetFrameHeight(const VSFrame* f, int plane) noexcept { return HasPlane(f, plane) ? f->PlaneHeight(plane) : 0; }

// ---- formats ----
// The host's names fit the 32 bytes every caller's buffer has.
int GetVideoFormatName(const VSVideoFormat* format, char* buffer) noexcept {
  if (format == nullptr || buffer == nullptr) return 0;
  const std::string name = VideoFormatName(*format);
  const size_t length = std::min<size_t>(name.size(), 31);
  std::memcpy(buffer, name.data(), length);
  buffer[length] = '\0';
  return 1;
}
int QueryFormat(VSVideoFormat* format, int colorFamily, int sampleType, int bits, int ssW, int ssH, VSCore*) noexcept {
  return format != nullptr && QueryVideoFormat(format, colorFamily, sampleType, bits, ssW, ssH) ? 1 : 0;
}
uint32_t QueryFormatId(int colorFamily, int sampleType, int bits, int ssW, int ssH, VSCore*) noexcept {
  VSVideoFormat format{};
  return QueryVideoFormat(&format, colorFamily, sampleType, bits, ssW, ssH) ? VideoFormatId(format) : pfNone;
}
int FormatById(VSVideoFormat* format, uint32_t id, VSCore*) noexcept {
  if (format == nullptr) return 0;
  *format = VideoFormatFromId(id);
  return format->colorFamily != cfUndefined ? 1 : 0;
}

// ---- frame requests ----
const VSFrame* GetFrameSync(int n, VSNode* node, char* errorMsg, int bufSize) noexcept {
  if (node == nullptr || node->host == nullptr) return nullptr;
  std::string error;
  FramePtr frame = node->host->GetFrame(node, n, &error);
  if (!frame && errorMsg != nullptr && bufSize > 0) {
    const size_t length = std::min<size_t>(error.size(), static_cast<size_t>(bufSize) - 1);
    std::memcpy(errorMsg, error.data(), length);
    errorMsg[length] = '\0';
  }
  return frame.release();
}

const VSFrame* GetFrameFilter(int n, VSNode* node, VSFrameContext* ctx) noexcept {
  if (node == nullptr || ctx == nullptr) return nullptr;
  n = std::max(0, std::min(n, node->vi.numFrames - 1));
  for (auto& [key, frame] : ctx->ready) {
    if (key.first == node && key.second == n) return AddRef(frame.get()).release();
  }
  return nullptr;
}

void RequestFrameFilter(int n, VSNode* node, VSFrameContext* ctx) noexcept {
  if (node == nullptr || ctx == nullptr) {
    RecordGlobalViolation("requestFrameFilter with a null argument");
    return;
  }
  const auto& deps = ctx->node->dependencies;
  if (std::none_of(deps.begin(), deps.end(), [&](const VSFilterDependency& d) { return d.source == node; })) {
    RecordGlobalViolation(ctx->node->name + " requested a frame of a node it did not declare as a dependency");
  }
  ctx->requested.emplace_back(node, n);
}

void ReleaseFrameEarly(VSNode* node, int n, VSFrameContext* ctx) noexcept {
  if (ctx == nullptr) return;
  std::erase_if(ctx->ready, [&](const auto& entry) { return entry.first.first == node && entry.first.second == n; });
}

void SetFilterError(const char* message, VSFrameContext* ctx) noexcept {
  if (ctx == nullptr || message == nullptr) {
    RecordGlobalViolation("setFilterError with a null argument");
    return;
  }
  if (ctx->hasError) return;  // the first error wins
  ctx->hasError = true;
  ctx->error = message;
}

// ---- maps ----
VSMap* CreateMap() noexcept { return new VSMap; }
void FreeMap(VSMap* map) noexcept { delete map; }
void ClearMap(VSMap* map) noexcept {
  map->entries.clear();
  map->hasError = false;
  map->error.clear();
}
void CopyMap(const VSMap* src, VSMap* dst) noexcept {
  VSMap copy(*src);
  for (VSMapEntry& e : copy.entries) {
    std::erase_if(dst->entries, [&](const VSMapEntry& d) { return d.key == e.key; });
    dst->entries.push_back(std::move(e));
  }
}
void MapSetError(VSMap* map, const char* message) noexcept {
  if (map == nullptr || message == nullptr) {
    RecordGlobalViolation("mapSetError with a null argument");
    return;
  }
  map->entries.clear();
  map->hasError = true;
  map->error = message;
}
const char* MapGetError(const VSMap* map) noexcept { return map && map->hasError ? map->error.c_str() : nullptr; }
int MapNumKeys(const VSMap* map) noexcept { return static_cast<int>(map->entries.size()); }
const char* MapGetKey(const VSMap* map, int index) noexcept {
  if (index < 0 || index >= static_cast<int>(map->entries.size())) return nullptr;
  return map->entries[static_cast<size_t>(index)].key.c_str();
}
int MapDeleteKey(VSMap* map, const char* key) noexcept {
  return std::erase_if(map->entries, [&](const VSMapEntry& e) { return e.key == key; }) > 0 ? 1 : 0;
}
int MapNumElements(const VSMap* map, const char* key) noexcept {
  const VSMapEntry* e = map->Find(key);
  return e ? static_cast<int>(e->values.size()) : -1;
}
int MapGetType(const VSMap* map, const char* key) noexcept {
  const VSMapEntry* e = map->Find(key);
  return e ? e->type : ptUnset;
}
int MapSetEmpty(VSMap* map, const char* key, int type) noexcept {
  if (map->Find(key) != nullptr) return 1;
  map->entries.push_back({key, type, {}});
  return 0;
}

// The element, or null with *error set. A null error pointer on a failure ends a real core's
// process; here it is a violation.
const VSMapValue* Element(const VSMap* map, const char* key, int index, bool (*typeOk)(int), int* error) {
  int status = peSuccess;
  const VSMapValue* value = nullptr;
  if (map == nullptr || key == nullptr) {
    status = peUnset;
  } else if (map->hasError) {
    status = peError;
  } else if (const VSMapEntry* e = map->Find(key); e == nullptr) {
    status = peUnset;
  } else if (!typeOk(e->type)) {
    status = peType;
  } else if (index < 0 || index >= static_cast<int>(e->values.size())) {
    status = peIndex;
  } else {
    value = &e->values[static_cast<size_t>(index)];
  }
  if (error != nullptr) {
    *error = status;
  } else if (status != peSuccess) {
    RecordGlobalViolation(std::string("reading \"") + (key ? key : "") + "\" failed without an error pointer");
  }
  return value;
}
bool IsInt(int t) { return t == ptInt; }
bool IsFloat(int t) { return t == ptFloat; }
bool IsData(int t) { return t == ptData; }
bool IsNode(int t) { return t == ptVideoNode || t == ptAudioNode; }
bool IsFrame(int t) { return t == ptVideoFrame || t == ptAudioFrame; }

int64_t MapGetInt(const VSMap* map, const char* key, int index, int* error) noexcept {
  const VSMapValue* v = Element(map, key, index, IsInt, error);
  return v ? std::get<int64_t>(*v) : 0;
}
int MapGetIntSaturated(const VSMap* map, const char* key, int index, int* error) noexcept {
  const int64_t v = MapGetInt(map, key, index, error);
  return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
const int64_t* MapGetIntArray(const VSMap* map, const char* key, int* error) noexcept {
  const VSMapValue* v = Element(map, key, 0, IsInt, error);
  return v ? &std::get<int64_t>(*v) : nullptr;  // variant storage is not contiguous: first only
}
int MapSetInt(VSMap* map, const char* key, int64_t i, int append) noexcept {
  return map->Put(key, ptInt, i, append == maAppend) ? 0 : 1;
}
int MapSetIntArray(VSMap* map, const char* key, const int64_t* i, int size) noexcept {
  if (size < 0) return 1;
  MapDeleteKey(map, key);
  MapSetEmpty(map, key, ptInt);
  for (int k = 0; k < size; ++k) map->Put(key, ptInt, i[k], true);
  return 0;
}
double MapGetFloat(const VSMap* map, const char* key, int index, int* error) noexcept {
  const VSMapValue* v = Element(map, key, index, IsFloat, error);
  return v ? std::get<double>(*v) : 0.0;
}
float MapGetFloatSaturated(const VSMap* map, const char* key, int index, int* error) noexcept {
  return static_cast<float>(MapGetFloat(map, key, index, error));
}
int MapSetFloat(VSMap* map, const char* key, double d, int append) noexcept {
  return map->Put(key, ptFloat, d, append == maAppend) ? 0 : 1;
}
const char* MapGetData(const VSMap* map, const char* key, int index, int* error) noexcept {
  const VSMapValue* v = Element(map, key, index, IsData, error);
  return v ? std::get<VSMapData>(*v).bytes.c_str() : nullptr;
}
int MapGetDataSize(const VSMap* map, const char* key, int index, int* error) noexcept {
  const VSMapValue* v = Element(map, key, index, IsData, error);
  return v ? static_cast<int>(std::get<VSMapData>(*v).bytes.size()) : -1;
}
int MapGetDataTypeHint(const VSMap* map, const char* key, int index, int* error) noexcept {
  const VSMapValue* v = Element(map, key, index, IsData, error);
  return v ? std::get<VSMapData>(*v).hint : dtUnknown;
}
int MapSetData(VSMap* map, const char* key, const char* data, int size, int type, int append) noexcept {
  const std::string bytes = size < 0 ? std::string(data) : std::string(data, static_cast<size_t>(size));
  return map->Put(key, ptData, VSMapData{bytes, type}, append == maAppend) ? 0 : 1;
}
VSNode* MapGetNode(const VSMap* map, const char* key, int index, int* error) noexcept {
  const VSMapValue* v = Element(map, key, index, IsNode, error);
  return v ? AddRef(std::get<NodePtr>(*v).get()).release() : nullptr;
}
int MapConsumeNode(VSMap* map, const char* key, VSNode* node, int append) noexcept {
  return map->Put(key, ptVideoNode, NodePtr(node), append == maAppend) ? 0 : 1;
}
int MapSetNode(VSMap* map, const char* key, VSNode* node, int append) noexcept {
  return MapConsumeNode(map, key, AddRef(node).release(), append);
}
const VSFrame* MapGetFrame(const VSMap* map, const char* key, int index, int* error) noexcept {
  const VSMapValue* v = Element(map, key, index, IsFrame, error);
  return v ? AddRef(std::get<FramePtr>(*v).get()).release() : nullptr;
}
int MapConsumeFrame(VSMap* map, const char* key, const VSFrame* f, int append) noexcept {
  return map->Put(key, ptVideoFrame, FramePtr(f), append == maAppend) ? 0 : 1;
}
int MapSetFrame(VSMap* map, const char* key, const VSFrame* f, int append) noexcept {
  return MapConsumeFrame(map, key, AddRef(f).release(), append);
}

// ---- plug-ins, core, log ----
int RegisterFunction(const char* name, const char* args, const char* returnType, VSPublicFunction create, void* data,
                     VSPlugin* plugin) noexcept {
  if (plugin == nullptr || plugin->host == nullptr) return 0;
  return plugin->host->RegisterFunction(plugin, name, args, returnType, create, data);
}
int ConfigPlugin(const char* identifier, const char* ns, const char* name, int version, int apiVersion, int flags,
                 VSPlugin* plugin) noexcept {
  if (plugin == nullptr || plugin->host == nullptr) return 0;
  return plugin->host->ConfigPlugin(plugin, identifier, ns, name, version, apiVersion, flags);
}
int GetApiVersion() noexcept { return reportedApiVersion.load(); }
void LogMessage(int type, const char* message, VSCore* core) noexcept {
  if (type == mtFatal) RecordGlobalViolation(std::string("fatal message: ") + (message ? message : ""));
  if (Host* host = HostOf(core)) host->Log(type, message ? message : "");
}

VSAPI MakeTable() {
  VSAPI t{};
#define SORVAN_TRAP(member, slot) t.member = Trap<slot, decltype(t.member)>::Call
  SORVAN_TRAP(createVideoFilter, 0);
  SORVAN_TRAP(createVideoFilter2, 1);
  SORVAN_TRAP(createAudioFilter, 2);
  SORVAN_TRAP(createAudioFilter2, 3);
  SORVAN_TRAP(setLinearFilter, 4);
  SORVAN_TRAP(setCacheMode, 5);
  SORVAN_TRAP(setCacheOptions, 6);
  SORVAN_TRAP(freeNode, 7);
  SORVAN_TRAP(addNodeRef, 8);
  SORVAN_TRAP(getNodeType, 9);
  SORVAN_TRAP(getVideoInfo, 10);
  SORVAN_TRAP(getAudioInfo, 11);
  SORVAN_TRAP(newVideoFrame, 12);
  SORVAN_TRAP(newVideoFrame2, 13);
  SORVAN_TRAP(newAudioFrame, 14);
  SORVAN_TRAP(newAudioFrame2, 15);
  SORVAN_TRAP(freeFrame, 16);
  SORVAN_TRAP(addFrameRef, 17);
  SORVAN_TRAP(copyFrame, 18);
  SORVAN_TRAP(getFramePropertiesRO, 19);
  SORVAN_TRAP(getFramePropertiesRW, 20);
  SORVAN_TRAP(getStride, 21);
  SORVAN_TRAP(getReadPtr, 22);
  SORVAN_TRAP(getWritePtr, 23);
  SORVAN_TRAP(getVideoFrameFormat, 24);
  SORVAN_TRAP(getAudioFrameFormat, 25);
  SORVAN_TRAP(getFrameType, 26);
  SORVAN_TRAP(getFrameWidth, 27);
  SORVAN_TRAP(getFrameHeight, 28);
  SORVAN_TRAP(getFrameLength, 29);
  SORVAN_TRAP(getVideoFormatName, 30);
  SORVAN_TRAP(getAudioFormatName, 31);
  SORVAN_TRAP(queryVideoFormat, 32);
  SORVAN_TRAP(queryAudioFormat, 33);
  SORVAN_TRAP(queryVideoFormatID, 34);
  SORVAN_TRAP(getVideoFormatByID, 35);
  SORVAN_TRAP(getFrame, 36);
  SORVAN_TRAP(getFrameAsync, 37);
  SORVAN_TRAP(getFrameFilter, 38);
  SORVAN_TRAP(requestFrameFilter, 39);
  SORVAN_TRAP(releaseFrameEarly, 40);
  SORVAN_TRAP(cacheFrame, 41);
  SORVAN_TRAP(setFilterError, 42);
  SORVAN_TRAP(createFunction, 43);
  SORVAN_TRAP(freeFunction, 44);
  SORVAN_TRAP(addFunctionRef, 45);
  SORVAN_TRAP(callFunction, 46);
  SORVAN_TRAP(createMap, 47);
  SORVAN_TRAP(freeMap, 48);
  SORVAN_TRAP(clearMap, 49);
  SORVAN_TRAP(copyMap, 50);
  SORVAN_TRAP(mapSetError, 51);
  SORVAN_TRAP(mapGetError, 52);
  SORVAN_TRAP(mapNumKeys, 53);
  SORVAN_TRAP(mapGetKey, 54);
  SORVAN_TRAP(mapDeleteKey, 55);
  SORVAN_TRAP(mapNumElements, 56);
  SORVAN_TRAP(mapGetType, 57);
  SORVAN_TRAP(mapSetEmpty, 58);
  SORVAN_TRAP(mapGetInt, 59);
  SORVAN_TRAP(mapGetIntSaturated, 60);
  SORVAN_TRAP(mapGetIntArray, 61);
  SORVAN_TRAP(mapSetInt, 62);
  SORVAN_TRAP(mapSetIntArray, 63);
  SORVAN_TRAP(mapGetFloat, 64);
  SORVAN_TRAP(mapGetFloatSaturated, 65);
  SORVAN_TRAP(mapGetFloatArray, 66);
  SORVAN_TRAP(mapSetFloat, 67);
  SORVAN_TRAP(mapSetFloatArray, 68);
  SORVAN_TRAP(mapGetData, 69);
  SORVAN_TRAP(mapGetDataSize, 70);
  SORVAN_TRAP(mapGetDataTypeHint, 71);
  SORVAN_TRAP(mapSetData, 72);
  SORVAN_TRAP(mapGetNode, 73);
  SORVAN_TRAP(mapSetNode, 74);
  SORVAN_TRAP(mapConsumeNode, 75);
  SORVAN_TRAP(mapGetFrame, 76);
  SORVAN_TRAP(mapSetFrame, 77);
  SORVAN_TRAP(mapConsumeFrame, 78);
  SORVAN_TRAP(mapGetFunction, 79);
  SORVAN_TRAP(mapSetFunction, 80);
  SORVAN_TRAP(mapConsumeFunction, 81);
  SORVAN_TRAP(registerFunction, 82);
  SORVAN_TRAP(getPluginByID, 83);
  SORVAN_TRAP(getPluginByNamespace, 84);
  SORVAN_TRAP(getNextPlugin, 85);
  SORVAN_TRAP(getPluginName, 86);
  SORVAN_TRAP(getPluginID, 87);
  SORVAN_TRAP(getPluginNamespace, 88);
  SORVAN_TRAP(getNextPluginFunction, 89);
  SORVAN_TRAP(getPluginFunctionByName, 90);
  SORVAN_TRAP(getPluginFunctionName, 91);
  SORVAN_TRAP(getPluginFunctionArguments, 92);
  SORVAN_TRAP(getPluginFunctionReturnType, 93);
  SORVAN_TRAP(getPluginPath, 94);
  SORVAN_TRAP(getPluginVersion, 95);
  SORVAN_TRAP(invoke, 96);
  SORVAN_TRAP(createCore, 97);
  SORVAN_TRAP(freeCore, 98);
  SORVAN_TRAP(setMaxCacheSize, 99);
  SORVAN_TRAP(setThreadCount, 100);
  SORVAN_TRAP(getCoreInfo, 101);
  SORVAN_TRAP(getAPIVersion, 102);
  SORVAN_TRAP(logMessage, 103);
  SORVAN_TRAP(addLogHandler, 104);
  SORVAN_TRAP(removeLogHandler, 105);
  SORVAN_TRAP(clearNodeCache, 106);
  SORVAN_TRAP(clearCoreCaches, 107);
  SORVAN_TRAP(getNodeName, 108);
  SORVAN_TRAP(getNodeFilterMode, 109);
  SORVAN_TRAP(getNumNodeDependencies, 110);
  SORVAN_TRAP(getNodeDependency, 111);
  SORVAN_TRAP(getCoreNodeTiming, 112);
  SORVAN_TRAP(setCoreNodeTiming, 113);
  SORVAN_TRAP(getNodeProcessingTime, 114);
  SORVAN_TRAP(getFreedNodeProcessingTime, 115);
#undef SORVAN_TRAP

#define SORVAN_SLOT(member, slot, function) t.member = Counted<slot, &function>::Call
  SORVAN_SLOT(createVideoFilter, 0, CreateVideoFilter);
  SORVAN_SLOT(createVideoFilter2, 1, CreateVideoFilter2);
  SORVAN_SLOT(freeNode, 7, FreeNode);
  SORVAN_SLOT(addNodeRef, 8, AddNodeRef);
  SORVAN_SLOT(getNodeType, 9, GetNodeType);
  SORVAN_SLOT(getVideoInfo, 10, GetVideoInfo);
  SORVAN_SLOT(newVideoFrame, 12, NewVideoFrame);
  SORVAN_SLOT(newVideoFrame2, 13, NewVideoFrame2);
  SORVAN_SLOT(freeFrame, 16, FreeFrame);
  SORVAN_SLOT(addFrameRef, 17, AddFrameRef);
  SORVAN_SLOT(copyFrame, 18, CopyFrame);
  SORVAN_SLOT(getFramePropertiesRO, 19, GetFramePropertiesRO);
  SORVAN_SLOT(getFramePropertiesRW, 20, GetFramePropertiesRW);
  SORVAN_SLOT(getStride, 21, GetStride);
  SORVAN_SLOT(getReadPtr, 22, GetReadPtr);
  SORVAN_SLOT(getWritePtr, 23, GetWritePtr);
  SORVAN_SLOT(getVideoFrameFormat, 24, GetVideoFrameFormat);
  SORVAN_SLOT(getFrameType, 26, GetFrameType);
  SORVAN_SLOT(getFrameWidth, 27, GetFrameWidth);
  SORVAN_SLOT(getFrameHeight, 28, GetFrameHeight);
  SORVAN_SLOT(getVideoFormatName, 30, GetVideoFormatName);
  SORVAN_SLOT(queryVideoFormat, 32, QueryFormat);
  SORVAN_SLOT(queryVideoFormatID, 34, QueryFormatId);
  SORVAN_SLOT(getVideoFormatByID, 35, FormatById);
  SORVAN_SLOT(getFrame, 36, GetFrameSync);
  SORVAN_SLOT(getFrameFilter, 38, GetFrameFilter);
  SORVAN_SLOT(requestFrameFilter, 39, RequestFrameFilter);
  SORVAN_SLOT(releaseFrameEarly, 40, ReleaseFrameEarly);
  SORVAN_SLOT(setFilterError, 42, SetFilterError);
  SORVAN_SLOT(createMap, 47, CreateMap);
  SORVAN_SLOT(freeMap, 48, FreeMap);
  SORVAN_SLOT(clearMap, 49, ClearMap);
  SORVAN_SLOT(copyMap, 50, CopyMap);
  SORVAN_SLOT(mapSetError, 51, MapSetError);
  SORVAN_SLOT(mapGetError, 52, MapGetError);
  SORVAN_SLOT(mapNumKeys, 53, MapNumKeys);
  SORVAN_SLOT(mapGetKey, 54, MapGetKey);
  SORVAN_SLOT(mapDeleteKey, 55, MapDeleteKey);
  SORVAN_SLOT(mapNumElements, 56, MapNumElements);
  SORVAN_SLOT(mapGetType, 57, MapGetType);
  SORVAN_SLOT(mapSetEmpty, 58, MapSetEmpty);
  SORVAN_SLOT(mapGetInt, 59, MapGetInt);
  SORVAN_SLOT(mapGetIntSaturated, 60, MapGetIntSaturated);
  SORVAN_SLOT(mapGetIntArray, 61, MapGetIntArray);
  SORVAN_SLOT(mapSetInt, 62, MapSetInt);
  SORVAN_SLOT(mapSetIntArray, 63, MapSetIntArray);
  SORVAN_SLOT(mapGetFloat, 64, MapGetFloat);
  SORVAN_SLOT(mapGetFloatSaturated, 65, MapGetFloatSaturated);
  SORVAN_SLOT(mapSetFloat, 67, MapSetFloat);
  SORVAN_SLOT(mapGetData, 69, MapGetData);
  SORVAN_SLOT(mapGetDataSize, 70, MapGetDataSize);
  SORVAN_SLOT(mapGetDataTypeHint, 71, MapGetDataTypeHint);
  SORVAN_SLOT(mapSetData, 72, MapSetData);
  SORVAN_SLOT(mapGetNode, 73, MapGetNode);
  SORVAN_SLOT(mapSetNode, 74, MapSetNode);
  SORVAN_SLOT(mapConsumeNode, 75, MapConsumeNode);
  SORVAN_SLOT(mapGetFrame, 76, MapGetFrame);
  SORVAN_SLOT(mapSetFrame, 77, MapSetFrame);
  SORVAN_SLOT(mapConsumeFrame, 78, MapConsumeFrame);
  SORVAN_SLOT(registerFunction, 82, RegisterFunction);
  SORVAN_SLOT(getAPIVersion, 102, GetApiVersion);
  SORVAN_SLOT(logMessage, 103, LogMessage);
#undef SORVAN_SLOT
  return t;
}

}  // namespace

std::array<std::atomic<int64_t>, kSlotsCounted>& SlotCounts() {
  static std::array<std::atomic<int64_t>, kSlotsCounted> counts{};
  return counts;
}

std::array<std::atomic<int64_t>, kSlotsCounted>& TrapCounts() {
  static std::array<std::atomic<int64_t>, kSlotsCounted> counts{};
  return counts;
}

const VSAPI* HostApiTable() {
  static const VSAPI table = MakeTable();
  return &table;
}

const VSPLUGINAPI* PluginApiTable() {
  static const VSPLUGINAPI table = {&GetApiVersion, &ConfigPlugin, &RegisterFunction};
  return &table;
}

void SetReportedApiVersion(int version) { reportedApiVersion.store(version); }

void RecordGlobalViolation(const std::string& what) {
  std::lock_guard lock(violationsMutex);
  ViolationList().push_back(what);
}

std::vector<std::string> RecordedViolations() {
  std::lock_guard lock(violationsMutex);
  return ViolationList();
}

void ClearRecordedViolations() {
  std::lock_guard lock(violationsMutex);
  ViolationList().clear();
}

}  // namespace sorvan::vshost
