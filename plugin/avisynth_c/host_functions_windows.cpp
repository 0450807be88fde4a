// Run-time look-up on Windows. An import from AviSynth.dll would bind the DLL to every function it
// names at load time (a host lacking one fails the whole load) and to that file name, and a
// classic 2.5 host loading the same DLL has no such library at all. So the plug-in imports only
// kernel32 and asks for the functions in the module the call came from: the host's already
// loaded library, found from the caller's address without loading anything.
#include "plugin/avisynth_c/host_function_table.h"

extern "C" {

// The first fields of MEMORY_BASIC_INFORMATION; the rest (sizes, states) follow in a layout
// that differs between 32 and 64 bits and is covered by the padding.
struct SorvanMemoryRegion {
  void* baseAddress;
  void* allocationBase;  // the module's load address when the region belongs to an image
  uint8_t rest[32];
};

__declspec(dllimport) size_t __stdcall VirtualQuery(const void* address, SorvanMemoryRegion* region, size_t size);
__declspec(dllimport) void* __stdcall GetModuleHandleA(const char* name);
// FARPROC: any function pointer; kept as void* here.
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);

}  // extern "C"

namespace sorvan::avs {
namespace {

void* Symbol(void* module, const char* name) { return GetProcAddress(module, name); }

// The module that contains `address`: the allocation base of an image region is its HMODULE.
// VirtualQuery exists on every Windows, unlike GetModuleHandleEx.
void* ModuleContaining(const void* address) {
  if (address == nullptr) return nullptr;
  SorvanMemoryRegion region{};
  if (VirtualQuery(address, &region, sizeof region) < 2 * sizeof(void*)) return nullptr;
  return region.allocationBase;
}

// Tries one module; true when it has every required function. Keeps the first module that has
// at least avs_add_function, so that a refusal can still be registered.
bool TryModule(void* module, HostLookup* lookup) {
  if (module == nullptr) return false;
  HostLookup candidate{};
  candidate.missing = ResolveHostFunctions(module, &Symbol, &candidate.functions);
  if (candidate.functions.add_function == nullptr) return false;
  const bool complete = candidate.missing == nullptr;
  if (complete || lookup->functions.add_function == nullptr) *lookup = candidate;
  return complete;
}

}  // namespace

HostLookup FindHostFunctions(const void* callerAddress) {
  HostLookup lookup{};
  lookup.missing = kHostFunctionEntries[0].missingMessage;
  if (TryModule(ModuleContaining(callerAddress), &lookup)) return lookup;
  // The host's library under its usual name, for a caller outside it (a wrapper DLL).
  TryModule(GetModuleHandleA("avisynth"), &lookup);
  return lookup;
}

}  // namespace sorvan::avs
