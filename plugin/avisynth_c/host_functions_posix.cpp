// Run-time look-up with the dynamic loader. Undefined avs_* references would be resolved only in
// the program's global scope, never in a host library that was itself opened privately (a program
// embedding AviSynth+ with dlopen), so the plug-in names none and asks the loader instead.
#include "plugin/avisynth_c/dynamic_loader.h"
#include "plugin/avisynth_c/host_function_table.h"

namespace sorvan::avs {
namespace {

void* Symbol(void* handle, const char* name) { return dlsym(handle, name); }

// Fills the table from one library handle (or RTLD_DEFAULT); returns the first required name
// that is missing, or null.
const char* Resolve(void* handle, HostFunctions* functions) { return ResolveHostFunctions(handle, &Symbol, functions); }

// A handle to the already loaded library `path`, without loading a second copy.
void* LoadedLibrary(const char* path) {
  return path != nullptr ? dlopen(path, loader::kLazy | loader::kNoLoad) : nullptr;
}

// Tries one loaded library; true when it has every required function.
bool TryLibrary(const char* path, HostLookup* lookup) {
  void* handle = LoadedLibrary(path);
  if (handle == nullptr) return false;
  HostLookup candidate{};
  candidate.missing = Resolve(handle, &candidate.functions);
  // The host library stays loaded while it runs our code, so the pointers outlive the handle.
  dlclose(handle);
  if (candidate.functions.add_function == nullptr) return false;
  const bool complete = candidate.missing == nullptr;
  if (complete || lookup->functions.add_function == nullptr) *lookup = candidate;
  return complete;
}

struct NamedLibrarySearch {
  HostLookup* lookup;
  bool found;
};

int VisitLibrary(loader::LoadedLibraryInfo* info, size_t /*size*/, void* data) {
  auto* search = static_cast<NamedLibrarySearch*>(data);
  if (info->name != nullptr && strstr(info->name, "libavisynth") != nullptr && TryLibrary(info->name, search->lookup)) {
    search->found = true;
    return 1;
  }
  return 0;
}

}  // namespace

HostLookup FindHostFunctions(const void* callerAddress) {
  HostLookup lookup{};
  lookup.missing = kHostFunctionEntries[0].missingMessage;
  loader::AddressInfo caller{};
  if (dladdr(callerAddress, &caller) != 0 && TryLibrary(caller.fileName, &lookup)) return lookup;
  NamedLibrarySearch search{&lookup, false};
  dl_iterate_phdr(&VisitLibrary, &search);
  if (search.found) return lookup;
  HostLookup global{};
  global.missing = Resolve(loader::kDefaultScope, &global.functions);
  if (global.missing == nullptr || lookup.functions.add_function == nullptr) return global;
  return lookup;
}

}  // namespace sorvan::avs
