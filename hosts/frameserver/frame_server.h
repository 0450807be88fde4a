// Our own minimal frame server: an IScriptEnvironment that loads 2.5-interface plug-ins and
// runs their functions the way a script would.
//
// How to use it:
//   sorvan::frameserver::FrameServer server;
//   server.LoadPlugin("build/lib/libsorvan.so");            // runs AvisynthPluginInit2
//   PClip source = sorvan::frameserver::MemoryClip::FromFrames(vi, frames);   // memory_clip.h
//   PClip out = server.InvokeClip("Sorvan", {source}, {{"rad", 3}, {"ry", true}});
//   PVideoFrame frame = out->GetFrame(0, &server);
//   std::vector<uint8_t> bytes = sorvan::frameserver::ReadPacked(frame, out->GetVideoInfo());
// Every failure (a plug-in's ThrowError, a missing file or entry point, a bad argument) is thrown
// as sorvan::frameserver::ScriptError, a std::runtime_error whose what() is the message.
//
// Threads: one FrameServer may serve several threads at once, as long as each clip object is
// asked for frames by one thread at a time (distinct filters on distinct threads are fine, each
// made by its own InvokeClip). NewVideoFrame, BitBlt, ThrowError, SaveString, Sprintf, Invoke,
// FunctionExists, the variables and the reference counts are safe to use concurrently.
// LoadPlugin and AddFunction may run while other threads invoke functions. Not safe: destroying
// the server while any thread uses it. Lifetime: every clip and frame must be dropped before the
// server is destroyed (its frames live in the server's pool and plug-ins are unloaded with it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/classic/classic_interface.h"

namespace sorvan::frameserver {

class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One argument given by name, as `name=value` in a script.
struct NamedArgument {
  std::string name;
  AVSValue value;
};

// Counts of the frame pool, for tests and diagnostics.
struct FramePoolStats {
  size_t framesAllocated = 0;  // frames the pool owns
  size_t framesInUse = 0;      // of those, frames somebody still holds
};

class FrameServer final : public IScriptEnvironment {
 public:
  FrameServer();
  ~FrameServer() override;
  FrameServer(const FrameServer&) = delete;
  FrameServer& operator=(const FrameServer&) = delete;

  // Opens a plug-in library and calls its entry point; returns the text the entry point gives.
  std::string LoadPlugin(const std::string& path);

  // Calls a registered function with positional arguments, then named ones, checked against
  // its parameter string as a script call would be.
  AVSValue Call(const std::string& name, const std::vector<AVSValue>& positional,
                const std::vector<NamedArgument>& named = {});
  // Call, requiring a clip as the result.
  PClip InvokeClip(const std::string& name, const std::vector<AVSValue>& positional,
                   const std::vector<NamedArgument>& named = {});

  // Extra bytes after each row's aligned size in frames made from now on (default 16), so that
  // rows always have padding a filter must not touch.
  void SetRowPadding(int bytes);
  // Every byte of frames made from now on is set to `byte` (0..255); -1 (the default) leaves
  // recycled memory as it is. Lets tests see which bytes a filter wrote.
  void SetFrameFill(int byte);
  FramePoolStats PoolStats() const;

  // IScriptEnvironment
  int SORVAN_STDCALL GetCPUFlags() override;
  char* SORVAN_STDCALL SaveString(const char* s, int length = -1) override;
  char* SORVAN_CDECL Sprintf(const char* fmt, ...) override;
  char* SORVAN_STDCALL VSprintf(const char* fmt, void* val) override;
  [[noreturn]] void SORVAN_CDECL ThrowError(const char* fmt, ...) override;
  void SORVAN_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply, void* user_data) override;
  bool SORVAN_STDCALL FunctionExists(const char* name) override;
  AVSValue SORVAN_STDCALL Invoke(const char* name, const AVSValue args, const char** arg_names = nullptr) override;
  AVSValue SORVAN_STDCALL GetVar(const char* name) override;
  bool SORVAN_STDCALL SetVar(const char* name, const AVSValue& val) override;
  bool SORVAN_STDCALL SetGlobalVar(const char* name, const AVSValue& val) override;
  void SORVAN_STDCALL PushContext(int level = 0) override;
  void SORVAN_STDCALL PopContext() override;
  PVideoFrame SORVAN_STDCALL NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) override;
  bool SORVAN_STDCALL MakeWritable(PVideoFrame* pvf) override;
  void SORVAN_STDCALL BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch, int row_size,
                             int height) override;
  void SORVAN_STDCALL AtExit(ShutdownFunc function, void* user_data) override;
  void SORVAN_STDCALL CheckVersion(int version = AVISYNTH_INTERFACE_VERSION) override;
  PVideoFrame SORVAN_STDCALL Subframe(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                      int new_height) override;
  int SORVAN_STDCALL SetMemoryMax(int mem) override;
  int SORVAN_STDCALL SetWorkingDir(const char* newdir) override;
  void* SORVAN_STDCALL ManageCache(int key, void* data) override;
  bool SORVAN_STDCALL PlanarChromaAlignment(PlanarChromaAlignmentMode key) override;
  PVideoFrame SORVAN_STDCALL SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                            int new_height, int rel_offsetU, int rel_offsetV, int new_pitchUV) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace sorvan::frameserver
