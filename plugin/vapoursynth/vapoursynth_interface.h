// The frame server's plug-in interface of API 4 (R55 and later), written for this project from
// the binary-interface facts that real hosts rely on. A plug-in exports one C function and gets
// everything else through two tables of function pointers, so the contract is the order and
// signature of every slot, the layout of the few plain structs and the values of the enums;
// the static_asserts at the end pin them for 64-bit targets, 32-bit Windows and 32-bit x86 Linux.
//
// Freestanding: only fixed-width integer types. Both sides include it: the plug-in to call the
// host, our test host to fill the tables.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Every function of the interface: stdcall on 32-bit Windows, the platform's default elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define SORVAN_VS_CC __stdcall
#else
#define SORVAN_VS_CC
#endif

// The slots are noexcept from C++11 on, as on the host's side; it changes neither layout nor
// the calling convention, only what may be stored in a slot.
#define SORVAN_VS_NOEXCEPT noexcept

extern "C" {

// Handles: only ever seen through pointers.
struct VSFrame;
struct VSNode;
struct VSCore;
struct VSPlugin;
struct VSPluginFunction;
struct VSFunction;
struct VSMap;
struct VSLogHandle;
struct VSFrameContext;

// API versions are (major << 16) | minor. A plug-in that declares 4.0 loads in every core of
// this API; the table it is handed may have more slots than it declares.
enum : int {
  VAPOURSYNTH_API_MAJOR = 4,
  VAPOURSYNTH_API_40 = (4 << 16) | 0,
  VAPOURSYNTH_API_41 = (4 << 16) | 1,
  VS_AUDIO_FRAME_SAMPLES = 3072,
};

enum VSColorFamily { cfUndefined = 0, cfGray = 1, cfRGB = 2, cfYUV = 3 };
enum VSSampleType { stInteger = 0, stFloat = 1 };
enum VSFilterMode { fmParallel = 0, fmParallelRequests = 1, fmUnordered = 2, fmFrameState = 3 };
enum VSMediaType { mtVideo = 1, mtAudio = 2 };
enum VSPropertyType {
  ptUnset = 0,
  ptInt = 1,
  ptFloat = 2,
  ptData = 3,
  ptFunction = 4,
  ptVideoNode = 5,
  ptAudioNode = 6,
  ptVideoFrame = 7,
  ptAudioFrame = 8,
};
enum VSMapPropertyError { peSuccess = 0, peUnset = 1, peType = 2, peError = 3, peIndex = 4 };
enum VSMapAppendMode { maReplace = 0, maAppend = 1 };
enum VSActivationReason { arInitial = 0, arAllFramesReady = 1, arError = -1 };
enum VSMessageType { mtDebug = 0, mtInformation = 1, mtWarning = 2, mtCritical = 3, mtFatal = 4 };
enum VSCoreCreationFlags { ccfEnableGraphInspection = 1, ccfDisableAutoLoading = 2, ccfDisableLibraryUnloading = 4 };
enum VSPluginConfigFlags { pcModifiable = 1 };
enum VSDataTypeHint { dtUnknown = -1, dtBinary = 0, dtUtf8 = 1 };
enum VSRequestPattern { rpGeneral = 0, rpNoFrameReuse = 1, rpStrictSpatial = 2, rpFrameReuseLastOnly = 3 };
enum VSCacheMode { cmAuto = -1, cmForceDisable = 0, cmForceEnable = 1 };
enum VSAudioChannels {
  acFrontLeft = 0,
  acFrontRight = 1,
  acFrontCenter = 2,
  acLowFrequency = 3,
  acBackLeft = 4,
  acBackRight = 5,
  acFrontLeftOFCenter = 6,
  acFrontRightOFCenter = 7,
  acBackCenter = 8,
  acSideLeft = 9,
  acSideRight = 10,
  acTopCenter = 11,
  acTopFrontLeft = 12,
  acTopFrontCenter = 13,
  acTopFrontRight = 14,
  acTopBackLeft = 15,
  acTopBackCenter = 16,
  acTopBackRight = 17,
  acStereoLeft = 29,
  acStereoRight = 30,
  acWideLeft = 31,
  acWideRight = 32,
  acSurroundDirectLeft = 33,
  acSurroundDirectRight = 34,
  acLowFrequency2 = 35,
};

// A format's ID packs its five numbers; the core builds and decodes IDs this way, so every valid
// format has one, named below or not.
inline constexpr uint32_t VS_MAKE_VIDEO_ID(int colorFamily, int sampleType, int bitsPerSample, int subSamplingW,
                                           int subSamplingH) {
  return (static_cast<uint32_t>(colorFamily) << 28) | (static_cast<uint32_t>(sampleType) << 24) |
         (static_cast<uint32_t>(bitsPerSample) << 16) | (static_cast<uint32_t>(subSamplingW) << 8) |
         static_cast<uint32_t>(subSamplingH);
}
enum VSPresetVideoFormat : uint32_t {
  pfNone = 0,
  pfGray8 = VS_MAKE_VIDEO_ID(cfGray, stInteger, 8, 0, 0),
  pfGray9 = VS_MAKE_VIDEO_ID(cfGray, stInteger, 9, 0, 0),
  pfGray10 = VS_MAKE_VIDEO_ID(cfGray, stInteger, 10, 0, 0),
  pfGray12 = VS_MAKE_VIDEO_ID(cfGray, stInteger, 12, 0, 0),
  pfGray14 = VS_MAKE_VIDEO_ID(cfGray, stInteger, 14, 0, 0),
  pfGray16 = VS_MAKE_VIDEO_ID(cfGray, stInteger, 16, 0, 0),
  pfGray32 = VS_MAKE_VIDEO_ID(cfGray, stInteger, 32, 0, 0),
  pfGrayH = VS_MAKE_VIDEO_ID(cfGray, stFloat, 16, 0, 0),
  pfGrayS = VS_MAKE_VIDEO_ID(cfGray, stFloat, 32, 0, 0),
  pfYUV410P8 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 8, 2, 2),
  pfYUV411P8 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 8, 2, 0),
  pfYUV440P8 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 8, 0, 1),
  pfYUV420P8 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 8, 1, 1),
  pfYUV420P9 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 9, 1, 1),
  pfYUV420P10 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 10, 1, 1),
  pfYUV420P12 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 12, 1, 1),
  pfYUV420P14 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 14, 1, 1),
  pfYUV420P16 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 16, 1, 1),
  pfYUV420PH = VS_MAKE_VIDEO_ID(cfYUV, stFloat, 16, 1, 1),
  pfYUV420PS = VS_MAKE_VIDEO_ID(cfYUV, stFloat, 32, 1, 1),
  pfYUV422P8 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 8, 1, 0),
  pfYUV422P10 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 10, 1, 0),
  pfYUV422P16 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 16, 1, 0),
  pfYUV422PH = VS_MAKE_VIDEO_ID(cfYUV, stFloat, 16, 1, 0),
  pfYUV422PS = VS_MAKE_VIDEO_ID(cfYUV, stFloat, 32, 1, 0),
  pfYUV444P8 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 8, 0, 0),
  pfYUV444P10 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 10, 0, 0),
  pfYUV444P16 = VS_MAKE_VIDEO_ID(cfYUV, stInteger, 16, 0, 0),
  pfYUV444PH = VS_MAKE_VIDEO_ID(cfYUV, stFloat, 16, 0, 0),
  pfYUV444PS = VS_MAKE_VIDEO_ID(cfYUV, stFloat, 32, 0, 0),
  pfRGB24 = VS_MAKE_VIDEO_ID(cfRGB, stInteger, 8, 0, 0),
  pfRGB27 = VS_MAKE_VIDEO_ID(cfRGB, stInteger, 9, 0, 0),
  pfRGB30 = VS_MAKE_VIDEO_ID(cfRGB, stInteger, 10, 0, 0),
  pfRGB36 = VS_MAKE_VIDEO_ID(cfRGB, stInteger, 12, 0, 0),
  pfRGB42 = VS_MAKE_VIDEO_ID(cfRGB, stInteger, 14, 0, 0),
  pfRGB48 = VS_MAKE_VIDEO_ID(cfRGB, stInteger, 16, 0, 0),
  pfRGBH = VS_MAKE_VIDEO_ID(cfRGB, stFloat, 16, 0, 0),
  pfRGBS = VS_MAKE_VIDEO_ID(cfRGB, stFloat, 32, 0, 0),
};

struct VSVideoFormat {
  int colorFamily;     // VSColorFamily
  int sampleType;      // VSSampleType
  int bitsPerSample;   // significant bits
  int bytesPerSample;  // 1, 2 or 4
  int subSamplingW;    // log2, chroma planes only
  int subSamplingH;
  int numPlanes;  // 1 for gray, 3 for YUV and RGB
};

// colorFamily cfUndefined: the format varies from frame to frame; width = height = 0: so does
// the size; fpsNum = fpsDen = 0: a variable rate.
struct VSVideoInfo {
  VSVideoFormat format;
  int64_t fpsNum;
  int64_t fpsDen;
  int width;
  int height;
  int numFrames;
};

struct VSAudioFormat {
  int sampleType;
  int bitsPerSample;
  int bytesPerSample;
  int numChannels;
  uint64_t channelLayout;  // bit k: channel k of VSAudioChannels
};

struct VSAudioInfo {
  VSAudioFormat format;
  int sampleRate;
  int64_t numSamples;
  int numFrames;
};

struct VSCoreInfo {
  const char* versionString;
  int core;
  int api;
  int numThreads;
  int64_t maxFramebufferSize;
  int64_t usedFramebufferSize;
};

// One input of a filter and how its frames are asked for (steers only the input's cache).
struct VSFilterDependency {
  VSNode* source;
  int requestPattern;  // VSRequestPattern
};

struct VSAPI;
struct VSPLUGINAPI;

typedef void(SORVAN_VS_CC* VSPublicFunction)(const VSMap* in, VSMap* out, void* userData, VSCore* core,
                                             const VSAPI* vsapi);
typedef void(SORVAN_VS_CC* VSInitPlugin)(VSPlugin* plugin, const VSPLUGINAPI* vspapi);
typedef void(SORVAN_VS_CC* VSFreeFunctionData)(void* userData);
typedef const VSFrame*(SORVAN_VS_CC* VSFilterGetFrame)(int n, int activationReason, void* instanceData,
                                                       void** frameData, VSFrameContext* frameCtx, VSCore* core,
                                                       const VSAPI* vsapi);
typedef void(SORVAN_VS_CC* VSFilterFree)(void* instanceData, VSCore* core, const VSAPI* vsapi);
typedef void(SORVAN_VS_CC* VSFrameDoneCallback)(void* userData, const VSFrame* f, int n, VSNode* node,
                                                const char* errorMsg);
typedef void(SORVAN_VS_CC* VSLogHandler)(int msgType, const char* msg, void* userData);
typedef void(SORVAN_VS_CC* VSLogHandlerFree)(void* userData);
typedef const VSAPI*(SORVAN_VS_CC* VSGetVapourSynthAPI)(int version);

// Handed to the entry point only.
struct VSPLUGINAPI {
  int(SORVAN_VS_CC* getAPIVersion)() SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* configPlugin)(const char* identifier, const char* pluginNamespace, const char* name,
                                  int pluginVersion, int apiVersion, int flags, VSPlugin* plugin) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* registerFunction)(const char* name, const char* args, const char* returnType,
                                      VSPublicFunction argsFunc, void* functionData,
                                      VSPlugin* plugin) SORVAN_VS_NOEXCEPT;
};

// Handed to every other callback. Append-only: slots 0-105 are API 4.0, 106-115 came with 4.1 and
// may only be called after getAPIVersion() reports 4.1. Later slots are not declared: they differ
// between releases.
struct VSAPI {
  // Filters, caching, node references (0-11)
  void(SORVAN_VS_CC* createVideoFilter)(VSMap* out, const char* name, const VSVideoInfo* vi, VSFilterGetFrame getFrame,
                                        VSFilterFree free, int filterMode, const VSFilterDependency* dependencies,
                                        int numDeps, void* instanceData, VSCore* core) SORVAN_VS_NOEXCEPT;
  VSNode*(SORVAN_VS_CC* createVideoFilter2)(const char* name, const VSVideoInfo* vi, VSFilterGetFrame getFrame,
                                            VSFilterFree free, int filterMode, const VSFilterDependency* dependencies,
                                            int numDeps, void* instanceData, VSCore* core)SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* createAudioFilter)(VSMap* out, const char* name, const VSAudioInfo* ai, VSFilterGetFrame getFrame,
                                        VSFilterFree free, int filterMode, const VSFilterDependency* dependencies,
                                        int numDeps, void* instanceData, VSCore* core) SORVAN_VS_NOEXCEPT;
  VSNode*(SORVAN_VS_CC* createAudioFilter2)(const char* name, const VSAudioInfo* ai, VSFilterGetFrame getFrame,
                                            VSFilterFree free, int filterMode, const VSFilterDependency* dependencies,
                                            int numDeps, void* instanceData, VSCore* core)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* setLinearFilter)(VSNode* node) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* setCacheMode)(VSNode* node, int mode) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* setCacheOptions)(VSNode* node, int fixedSize, int maxSize, int maxHistorySize) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* freeNode)(VSNode* node) SORVAN_VS_NOEXCEPT;
  VSNode*(SORVAN_VS_CC* addNodeRef)(VSNode* node)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getNodeType)(VSNode* node) SORVAN_VS_NOEXCEPT;
  const VSVideoInfo*(SORVAN_VS_CC* getVideoInfo)(VSNode* node)SORVAN_VS_NOEXCEPT;
  const VSAudioInfo*(SORVAN_VS_CC* getAudioInfo)(VSNode* node)SORVAN_VS_NOEXCEPT;

  // Frames (12-29)
  VSFrame*(SORVAN_VS_CC* newVideoFrame)(const VSVideoFormat* format, int width, int height, const VSFrame* propSrc,
                                        VSCore* core)SORVAN_VS_NOEXCEPT;
  VSFrame*(SORVAN_VS_CC* newVideoFrame2)(const VSVideoFormat* format, int width, int height, const VSFrame** planeSrc,
                                         const int* planes, const VSFrame* propSrc, VSCore* core)SORVAN_VS_NOEXCEPT;
  VSFrame*(SORVAN_VS_CC* newAudioFrame)(const VSAudioFormat* format, int numSamples, const VSFrame* propSrc,
                                        VSCore* core)SORVAN_VS_NOEXCEPT;
  VSFrame*(SORVAN_VS_CC* newAudioFrame2)(const VSAudioFormat* format, int numSamples, const VSFrame** channelSrc,
                                         const int* channels, const VSFrame* propSrc, VSCore* core)SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* freeFrame)(const VSFrame* f) SORVAN_VS_NOEXCEPT;
  const VSFrame*(SORVAN_VS_CC* addFrameRef)(const VSFrame* f)SORVAN_VS_NOEXCEPT;
  VSFrame*(SORVAN_VS_CC* copyFrame)(const VSFrame* f, VSCore* core)SORVAN_VS_NOEXCEPT;
  const VSMap*(SORVAN_VS_CC* getFramePropertiesRO)(const VSFrame* f)SORVAN_VS_NOEXCEPT;
  VSMap*(SORVAN_VS_CC* getFramePropertiesRW)(VSFrame* f)SORVAN_VS_NOEXCEPT;
  ptrdiff_t(SORVAN_VS_CC* getStride)(const VSFrame* f, int plane) SORVAN_VS_NOEXCEPT;
  const uint8_t*(SORVAN_VS_CC* getReadPtr)(const VSFrame* f, int plane)SORVAN_VS_NOEXCEPT;
  uint8_t*(SORVAN_VS_CC* getWritePtr)(VSFrame* f, int plane)SORVAN_VS_NOEXCEPT;
  const VSVideoFormat*(SORVAN_VS_CC* getVideoFrameFormat)(const VSFrame* f)SORVAN_VS_NOEXCEPT;
  const VSAudioFormat*(SORVAN_VS_CC* getAudioFrameFormat)(const VSFrame* f)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getFrameType)(const VSFrame* f) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getFrameWidth)(const VSFrame* f, int plane) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getFrameHeight)(const VSFrame* f, int plane) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getFrameLength)(const VSFrame* f) SORVAN_VS_NOEXCEPT;

  // Formats (30-35)
  int(SORVAN_VS_CC* getVideoFormatName)(const VSVideoFormat* format, char* buffer) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getAudioFormatName)(const VSAudioFormat* format, char* buffer) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* queryVideoFormat)(VSVideoFormat* format, int colorFamily, int sampleType, int bitsPerSample,
                                      int subSamplingW, int subSamplingH, VSCore* core) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* queryAudioFormat)(VSAudioFormat* format, int sampleType, int bitsPerSample, uint64_t channelLayout,
                                      VSCore* core) SORVAN_VS_NOEXCEPT;
  uint32_t(SORVAN_VS_CC* queryVideoFormatID)(int colorFamily, int sampleType, int bitsPerSample, int subSamplingW,
                                             int subSamplingH, VSCore* core) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getVideoFormatByID)(VSVideoFormat* format, uint32_t id, VSCore* core) SORVAN_VS_NOEXCEPT;

  // Frame requests (36-42); 38-42 only inside a filter's getFrame
  const VSFrame*(SORVAN_VS_CC* getFrame)(int n, VSNode* node, char* errorMsg, int bufSize)SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* getFrameAsync)(int n, VSNode* node, VSFrameDoneCallback callback,
                                    void* userData) SORVAN_VS_NOEXCEPT;
  const VSFrame*(SORVAN_VS_CC* getFrameFilter)(int n, VSNode* node, VSFrameContext* frameCtx)SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* requestFrameFilter)(int n, VSNode* node, VSFrameContext* frameCtx) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* releaseFrameEarly)(VSNode* node, int n, VSFrameContext* frameCtx) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* cacheFrame)(const VSFrame* frame, int n, VSFrameContext* frameCtx) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* setFilterError)(const char* errorMessage, VSFrameContext* frameCtx) SORVAN_VS_NOEXCEPT;

  // Function objects (43-46)
  VSFunction*(SORVAN_VS_CC* createFunction)(VSPublicFunction func, void* userData, VSFreeFunctionData free,
                                            VSCore* core)SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* freeFunction)(VSFunction* f) SORVAN_VS_NOEXCEPT;
  VSFunction*(SORVAN_VS_CC* addFunctionRef)(VSFunction* f)SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* callFunction)(VSFunction* func, const VSMap* in, VSMap* out) SORVAN_VS_NOEXCEPT;

  // Maps and properties (47-81)
  VSMap*(SORVAN_VS_CC* createMap)() SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* freeMap)(VSMap* map) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* clearMap)(VSMap* map) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* copyMap)(const VSMap* src, VSMap* dst) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* mapSetError)(VSMap* map, const char* errorMessage) SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* mapGetError)(const VSMap* map)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapNumKeys)(const VSMap* map) SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* mapGetKey)(const VSMap* map, int index)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapDeleteKey)(VSMap* map, const char* key) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapNumElements)(const VSMap* map, const char* key) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapGetType)(const VSMap* map, const char* key) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetEmpty)(VSMap* map, const char* key, int type) SORVAN_VS_NOEXCEPT;
  int64_t(SORVAN_VS_CC* mapGetInt)(const VSMap* map, const char* key, int index, int* error) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapGetIntSaturated)(const VSMap* map, const char* key, int index, int* error) SORVAN_VS_NOEXCEPT;
  const int64_t*(SORVAN_VS_CC* mapGetIntArray)(const VSMap* map, const char* key, int* error)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetInt)(VSMap* map, const char* key, int64_t i, int append) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetIntArray)(VSMap* map, const char* key, const int64_t* i, int size) SORVAN_VS_NOEXCEPT;
  double(SORVAN_VS_CC* mapGetFloat)(const VSMap* map, const char* key, int index, int* error) SORVAN_VS_NOEXCEPT;
  float(SORVAN_VS_CC* mapGetFloatSaturated)(const VSMap* map, const char* key, int index,
                                            int* error) SORVAN_VS_NOEXCEPT;
  const double*(SORVAN_VS_CC* mapGetFloatArray)(const VSMap* map, const char* key, int* error)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetFloat)(VSMap* map, const char* key, double d, int append) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetFloatArray)(VSMap* map, const char* key, const double* d, int size) SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* mapGetData)(const VSMap* map, const char* key, int index, int* error)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapGetDataSize)(const VSMap* map, const char* key, int index, int* error) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapGetDataTypeHint)(const VSMap* map, const char* key, int index, int* error) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetData)(VSMap* map, const char* key, const char* data, int size, int type,
                                int append) SORVAN_VS_NOEXCEPT;
  VSNode*(SORVAN_VS_CC* mapGetNode)(const VSMap* map, const char* key, int index, int* error)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetNode)(VSMap* map, const char* key, VSNode* node, int append) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapConsumeNode)(VSMap* map, const char* key, VSNode* node, int append) SORVAN_VS_NOEXCEPT;
  const VSFrame*(SORVAN_VS_CC* mapGetFrame)(const VSMap* map, const char* key, int index, int* error)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetFrame)(VSMap* map, const char* key, const VSFrame* f, int append) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapConsumeFrame)(VSMap* map, const char* key, const VSFrame* f, int append) SORVAN_VS_NOEXCEPT;
  VSFunction*(SORVAN_VS_CC* mapGetFunction)(const VSMap* map, const char* key, int index, int* error)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapSetFunction)(VSMap* map, const char* key, VSFunction* func, int append) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* mapConsumeFunction)(VSMap* map, const char* key, VSFunction* func, int append) SORVAN_VS_NOEXCEPT;

  // Plug-ins and their functions (82-96)
  int(SORVAN_VS_CC* registerFunction)(const char* name, const char* args, const char* returnType,
                                      VSPublicFunction argsFunc, void* functionData,
                                      VSPlugin* plugin) SORVAN_VS_NOEXCEPT;
  VSPlugin*(SORVAN_VS_CC* getPluginByID)(const char* identifier, VSCore* core)SORVAN_VS_NOEXCEPT;
  VSPlugin*(SORVAN_VS_CC* getPluginByNamespace)(const char* ns, VSCore* core)SORVAN_VS_NOEXCEPT;
  VSPlugin*(SORVAN_VS_CC* getNextPlugin)(VSPlugin* plugin, VSCore* core)SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getPluginName)(VSPlugin* plugin)SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getPluginID)(VSPlugin* plugin)SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getPluginNamespace)(VSPlugin* plugin)SORVAN_VS_NOEXCEPT;
  VSPluginFunction*(SORVAN_VS_CC* getNextPluginFunction)(VSPluginFunction* func, VSPlugin* plugin)SORVAN_VS_NOEXCEPT;
  VSPluginFunction*(SORVAN_VS_CC* getPluginFunctionByName)(const char* name, VSPlugin* plugin)SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getPluginFunctionName)(VSPluginFunction* func)SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getPluginFunctionArguments)(VSPluginFunction* func)SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getPluginFunctionReturnType)(VSPluginFunction* func)SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getPluginPath)(const VSPlugin* plugin)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getPluginVersion)(const VSPlugin* plugin) SORVAN_VS_NOEXCEPT;
  VSMap*(SORVAN_VS_CC* invoke)(VSPlugin* plugin, const char* name, const VSMap* args)SORVAN_VS_NOEXCEPT;

  // Core (97-102)
  VSCore*(SORVAN_VS_CC* createCore)(int flags)SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* freeCore)(VSCore* core) SORVAN_VS_NOEXCEPT;
  int64_t(SORVAN_VS_CC* setMaxCacheSize)(int64_t bytes, VSCore* core) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* setThreadCount)(int threads, VSCore* core) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* getCoreInfo)(VSCore* core, VSCoreInfo* info) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getAPIVersion)() SORVAN_VS_NOEXCEPT;

  // Logging (103-105): the last slots of API 4.0
  void(SORVAN_VS_CC* logMessage)(int msgType, const char* msg, VSCore* core) SORVAN_VS_NOEXCEPT;
  VSLogHandle*(SORVAN_VS_CC* addLogHandler)(VSLogHandler handler, VSLogHandlerFree free, void* userData,
                                            VSCore* core)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* removeLogHandler)(VSLogHandle* handle, VSCore* core) SORVAN_VS_NOEXCEPT;

  // API 4.1 (106-115): cache clearing, node information, node timing
  void(SORVAN_VS_CC* clearNodeCache)(VSNode* node) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* clearCoreCaches)(VSCore* core) SORVAN_VS_NOEXCEPT;
  const char*(SORVAN_VS_CC* getNodeName)(VSNode* node)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getNodeFilterMode)(VSNode* node) SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getNumNodeDependencies)(VSNode* node) SORVAN_VS_NOEXCEPT;
  const VSFilterDependency*(SORVAN_VS_CC* getNodeDependency)(VSNode* node, int index)SORVAN_VS_NOEXCEPT;
  int(SORVAN_VS_CC* getCoreNodeTiming)(VSCore* core) SORVAN_VS_NOEXCEPT;
  void(SORVAN_VS_CC* setCoreNodeTiming)(VSCore* core, int enable) SORVAN_VS_NOEXCEPT;
  int64_t(SORVAN_VS_CC* getNodeProcessingTime)(VSNode* node, int reset) SORVAN_VS_NOEXCEPT;
  int64_t(SORVAN_VS_CC* getFreedNodeProcessingTime)(VSCore* core, int reset) SORVAN_VS_NOEXCEPT;
};

}  // extern "C"

// Slot counts of the two API minors this header declares.
inline constexpr int kVsApi40Slots = 106;
inline constexpr int kVsApi41Slots = 116;

// ---- Layout checks ----------------------------------------------------------------------------
// A slot sits at its index times the pointer size: one slot missing or added moves every later
// call onto another function.
#define SORVAN_VS_SLOT(member, index) \
  static_assert(offsetof(VSAPI, member) == (index) * sizeof(void*), #member " is slot " #index)

static_assert(sizeof(VSPLUGINAPI) == 3 * sizeof(void*), "VSPLUGINAPI has three slots");
static_assert(offsetof(VSPLUGINAPI, getAPIVersion) == 0, "VSPLUGINAPI slot 0");
static_assert(offsetof(VSPLUGINAPI, configPlugin) == sizeof(void*), "VSPLUGINAPI slot 1");
static_assert(offsetof(VSPLUGINAPI, registerFunction) == 2 * sizeof(void*), "VSPLUGINAPI slot 2");

static_assert(sizeof(VSAPI) == kVsApi41Slots * sizeof(void*), "VSAPI: function pointers only, no padding");
SORVAN_VS_SLOT(createVideoFilter, 0);
SORVAN_VS_SLOT(createVideoFilter2, 1);
SORVAN_VS_SLOT(createAudioFilter, 2);
SORVAN_VS_SLOT(createAudioFilter2, 3);
SORVAN_VS_SLOT(setLinearFilter, 4);
SORVAN_VS_SLOT(setCacheMode, 5);
SORVAN_VS_SLOT(setCacheOptions, 6);
SORVAN_VS_SLOT(freeNode, 7);
SORVAN_VS_SLOT(addNodeRef, 8);
SORVAN_VS_SLOT(getNodeType, 9);
SORVAN_VS_SLOT(getVideoInfo, 10);
SORVAN_VS_SLOT(getAudioInfo, 11);
SORVAN_VS_SLOT(newVideoFrame, 12);
SORVAN_VS_SLOT(newVideoFrame2, 13);
SORVAN_VS_SLOT(newAudioFrame, 14);
SORVAN_VS_SLOT(newAudioFrame2, 15);
SORVAN_VS_SLOT(freeFrame, 16);
SORVAN_VS_SLOT(addFrameRef, 17);
SORVAN_VS_SLOT(copyFrame, 18);
SORVAN_VS_SLOT(getFramePropertiesRO, 19);
SORVAN_VS_SLOT(getFramePropertiesRW, 20);
SORVAN_VS_SLOT(getStride, 21);
SORVAN_VS_SLOT(getReadPtr, 22);
SORVAN_VS_SLOT(getWritePtr, 23);
SORVAN_VS_SLOT(getVideoFrameFormat, 24);
SORVAN_VS_SLOT(getAudioFrameFormat, 25);
SORVAN_VS_SLOT(getFrameType, 26);
SORVAN_VS_SLOT(getFrameWidth, 27);
SORVAN_VS_SLOT(getFrameHeight, 28);
SORVAN_VS_SLOT(getFrameLength, 29);
SORVAN_VS_SLOT(getVideoFormatName, 30);
SORVAN_VS_SLOT(getAudioFormatName, 31);
SORVAN_VS_SLOT(queryVideoFormat, 32);
SORVAN_VS_SLOT(queryAudioFormat, 33);
SORVAN_VS_SLOT(queryVideoFormatID, 34);
SORVAN_VS_SLOT(getVideoFormatByID, 35);
SORVAN_VS_SLOT(getFrame, 36);
SORVAN_VS_SLOT(getFrameAsync, 37);
SORVAN_VS_SLOT(getFrameFilter, 38);
SORVAN_VS_SLOT(requestFrameFilter, 39);
SORVAN_VS_SLOT(releaseFrameEarly, 40);
SORVAN_VS_SLOT(cacheFrame, 41);
SORVAN_VS_SLOT(setFilterError, 42);
SORVAN_VS_SLOT(createFunction, 43);
SORVAN_VS_SLOT(freeFunction, 44);
SORVAN_VS_SLOT(addFunctionRef, 45);
SORVAN_VS_SLOT(callFunction, 46);
SORVAN_VS_SLOT(createMap, 47);
SORVAN_VS_SLOT(freeMap, 48);
SORVAN_VS_SLOT(clearMap, 49);
SORVAN_VS_SLOT(copyMap, 50);
SORVAN_VS_SLOT(mapSetError, 51);
SORVAN_VS_SLOT(mapGetError, 52);
SORVAN_VS_SLOT(mapNumKeys, 53);
SORVAN_VS_SLOT(mapGetKey, 54);
SORVAN_VS_SLOT(mapDeleteKey, 55);
SORVAN_VS_SLOT(mapNumElements, 56);
SORVAN_VS_SLOT(mapGetType, 57);
SORVAN_VS_SLOT(mapSetEmpty, 58);
SORVAN_VS_SLOT(mapGetInt, 59);
SORVAN_VS_SLOT(mapGetIntSaturated, 60);
SORVAN_VS_SLOT(mapGetIntArray, 61);
SORVAN_VS_SLOT(mapSetInt, 62);
SORVAN_VS_SLOT(mapSetIntArray, 63);
SORVAN_VS_SLOT(mapGetFloat, 64);
SORVAN_VS_SLOT(mapGetFloatSaturated, 65);
SORVAN_VS_SLOT(mapGetFloatArray, 66);
SORVAN_VS_SLOT(mapSetFloat, 67);
SORVAN_VS_SLOT(mapSetFloatArray, 68);
SORVAN_VS_SLOT(mapGetData, 69);
SORVAN_VS_SLOT(mapGetDataSize, 70);
SORVAN_VS_SLOT(mapGetDataTypeHint, 71);
SORVAN_VS_SLOT(mapSetData, 72);
SORVAN_VS_SLOT(mapGetNode, 73);
SORVAN_VS_SLOT(mapSetNode, 74);
SORVAN_VS_SLOT(mapConsumeNode, 75);
SORVAN_VS_SLOT(mapGetFrame, 76);
SORVAN_VS_SLOT(mapSetFrame, 77);
SORVAN_VS_SLOT(mapConsumeFrame, 78);
SORVAN_VS_SLOT(mapGetFunction, 79);
SORVAN_VS_SLOT(mapSetFunction, 80);
SORVAN_VS_SLOT(mapConsumeFunction, 81);
SORVAN_VS_SLOT(registerFunction, 82);
SORVAN_VS_SLOT(getPluginByID, 83);
SORVAN_VS_SLOT(getPluginByNamespace, 84);
SORVAN_VS_SLOT(getNextPlugin, 85);
SORVAN_VS_SLOT(getPluginName, 86);
SORVAN_VS_SLOT(getPluginID, 87);
SORVAN_VS_SLOT(getPluginNamespace, 88);
SORVAN_VS_SLOT(getNextPluginFunction, 89);
SORVAN_VS_SLOT(getPluginFunctionByName, 90);
SORVAN_VS_SLOT(getPluginFunctionName, 91);
SORVAN_VS_SLOT(getPluginFunctionArguments, 92);
SORVAN_VS_SLOT(getPluginFunctionReturnType, 93);
SORVAN_VS_SLOT(getPluginPath, 94);
SORVAN_VS_SLOT(getPluginVersion, 95);
SORVAN_VS_SLOT(invoke, 96);
SORVAN_VS_SLOT(createCore, 97);
SORVAN_VS_SLOT(freeCore, 98);
SORVAN_VS_SLOT(setMaxCacheSize, 99);
SORVAN_VS_SLOT(setThreadCount, 100);
SORVAN_VS_SLOT(getCoreInfo, 101);
SORVAN_VS_SLOT(getAPIVersion, 102);
SORVAN_VS_SLOT(logMessage, 103);
SORVAN_VS_SLOT(addLogHandler, 104);
SORVAN_VS_SLOT(removeLogHandler, 105);
SORVAN_VS_SLOT(clearNodeCache, 106);
SORVAN_VS_SLOT(clearCoreCaches, 107);
SORVAN_VS_SLOT(getNodeName, 108);
SORVAN_VS_SLOT(getNodeFilterMode, 109);
SORVAN_VS_SLOT(getNumNodeDependencies, 110);
SORVAN_VS_SLOT(getNodeDependency, 111);
SORVAN_VS_SLOT(getCoreNodeTiming, 112);
SORVAN_VS_SLOT(setCoreNodeTiming, 113);
SORVAN_VS_SLOT(getNodeProcessingTime, 114);
SORVAN_VS_SLOT(getFreedNodeProcessingTime, 115);
#undef SORVAN_VS_SLOT

// Plain structs. 64-bit targets agree; 32-bit Windows aligns 64-bit members to 8 bytes and
// 32-bit x86 Linux to 4, which moves the fields after them.
#if defined(_WIN32) && !defined(_WIN64)
#define SORVAN_VS_ABI(bits64, win32, linux32) (win32)
#elif UINTPTR_MAX == 0xffffffffu
#define SORVAN_VS_ABI(bits64, win32, linux32) (linux32)
#else
#define SORVAN_VS_ABI(bits64, win32, linux32) (bits64)
#endif

static_assert(sizeof(int) == 4, "int is 4 bytes on every target of the interface");
static_assert(sizeof(VSColorFamily) == 4 && sizeof(VSFilterMode) == 4 && sizeof(VSActivationReason) == 4,
              "enums travel as int");
static_assert(sizeof(VSVideoFormat) == 28 && alignof(VSVideoFormat) == 4, "VSVideoFormat: seven ints");
static_assert(offsetof(VSVideoFormat, colorFamily) == 0 && offsetof(VSVideoFormat, sampleType) == 4 &&
                  offsetof(VSVideoFormat, bitsPerSample) == 8 && offsetof(VSVideoFormat, bytesPerSample) == 12 &&
                  offsetof(VSVideoFormat, subSamplingW) == 16 && offsetof(VSVideoFormat, subSamplingH) == 20 &&
                  offsetof(VSVideoFormat, numPlanes) == 24,
              "VSVideoFormat field order");

static_assert(sizeof(VSVideoInfo) == SORVAN_VS_ABI(64, 64, 56), "VSVideoInfo size");
static_assert(alignof(VSVideoInfo) == SORVAN_VS_ABI(8, 8, 4), "VSVideoInfo alignment");
static_assert(offsetof(VSVideoInfo, format) == 0, "VSVideoInfo format");
static_assert(offsetof(VSVideoInfo, fpsNum) == SORVAN_VS_ABI(32, 32, 28), "VSVideoInfo fpsNum");
static_assert(offsetof(VSVideoInfo, fpsDen) == SORVAN_VS_ABI(40, 40, 36), "VSVideoInfo fpsDen");
static_assert(offsetof(VSVideoInfo, width) == SORVAN_VS_ABI(48, 48, 44), "VSVideoInfo width");
static_assert(offsetof(VSVideoInfo, height) == SORVAN_VS_ABI(52, 52, 48), "VSVideoInfo height");
static_assert(offsetof(VSVideoInfo, numFrames) == SORVAN_VS_ABI(56, 56, 52), "VSVideoInfo numFrames");

static_assert(sizeof(VSFilterDependency) == SORVAN_VS_ABI(16, 8, 8), "VSFilterDependency size");
static_assert(alignof(VSFilterDependency) == SORVAN_VS_ABI(8, 4, 4), "VSFilterDependency alignment");
static_assert(offsetof(VSFilterDependency, source) == 0, "VSFilterDependency source");
static_assert(offsetof(VSFilterDependency, requestPattern) == SORVAN_VS_ABI(8, 4, 4),
              "VSFilterDependency requestPattern");

static_assert(sizeof(VSCoreInfo) == SORVAN_VS_ABI(40, 32, 32), "VSCoreInfo size");
static_assert(offsetof(VSCoreInfo, versionString) == 0 && offsetof(VSCoreInfo, core) == SORVAN_VS_ABI(8, 4, 4) &&
                  offsetof(VSCoreInfo, api) == SORVAN_VS_ABI(12, 8, 8) &&
                  offsetof(VSCoreInfo, numThreads) == SORVAN_VS_ABI(16, 12, 12) &&
                  offsetof(VSCoreInfo, maxFramebufferSize) == SORVAN_VS_ABI(24, 16, 16) &&
                  offsetof(VSCoreInfo, usedFramebufferSize) == SORVAN_VS_ABI(32, 24, 24),
              "VSCoreInfo fields");

static_assert(sizeof(VSAudioFormat) == 24, "VSAudioFormat size");
static_assert(offsetof(VSAudioFormat, sampleType) == 0 && offsetof(VSAudioFormat, bitsPerSample) == 4 &&
                  offsetof(VSAudioFormat, bytesPerSample) == 8 && offsetof(VSAudioFormat, numChannels) == 12 &&
                  offsetof(VSAudioFormat, channelLayout) == 16,
              "VSAudioFormat fields");
static_assert(sizeof(VSAudioInfo) == SORVAN_VS_ABI(48, 48, 40), "VSAudioInfo size");
static_assert(offsetof(VSAudioInfo, format) == 0 && offsetof(VSAudioInfo, sampleRate) == 24 &&
                  offsetof(VSAudioInfo, numSamples) == SORVAN_VS_ABI(32, 32, 28) &&
                  offsetof(VSAudioInfo, numFrames) == SORVAN_VS_ABI(40, 40, 36),
              "VSAudioInfo fields");
#undef SORVAN_VS_ABI

// Values the two sides exchange as plain ints.
static_assert(VAPOURSYNTH_API_40 == 0x00040000 && VAPOURSYNTH_API_41 == 0x00040001, "API versions");
static_assert(cfUndefined == 0 && cfGray == 1 && cfRGB == 2 && cfYUV == 3, "VSColorFamily");
static_assert(stInteger == 0 && stFloat == 1, "VSSampleType");
static_assert(fmParallel == 0 && fmParallelRequests == 1 && fmUnordered == 2 && fmFrameState == 3, "VSFilterMode");
static_assert(ptUnset == 0 && ptInt == 1 && ptFloat == 2 && ptData == 3 && ptFunction == 4 && ptVideoNode == 5 &&
                  ptAudioNode == 6 && ptVideoFrame == 7 && ptAudioFrame == 8,
              "VSPropertyType");
static_assert(peSuccess == 0 && peUnset == 1 && peType == 2 && peError == 3 && peIndex == 4, "VSMapPropertyError");
static_assert(arInitial == 0 && arAllFramesReady == 1 && arError == -1, "VSActivationReason");
static_assert(rpGeneral == 0 && rpNoFrameReuse == 1 && rpStrictSpatial == 2 && rpFrameReuseLastOnly == 3,
              "VSRequestPattern");
static_assert(pfGray8 == 0x10080000u && pfGray16 == 0x10100000u && pfGrayH == 0x11100000u && pfGrayS == 0x11200000u &&
                  pfYUV420P8 == 0x30080101u && pfYUV410P8 == 0x30080202u && pfYUV411P8 == 0x30080200u &&
                  pfYUV440P8 == 0x30080001u && pfYUV422P10 == 0x300a0100u && pfYUV444PS == 0x31200000u &&
                  pfRGB24 == 0x20080000u && pfRGB48 == 0x20100000u && pfRGBS == 0x21200000u,
              "format IDs: (family << 28) | (sample type << 24) | (bits << 16) | (ssW << 8) | ssH");
