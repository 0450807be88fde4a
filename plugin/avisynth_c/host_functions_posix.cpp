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

// The file of the loaded library that contains `address`, or null.
const char* LibraryFileOf(const void* address) {
  loader::AddressInfo info{};
  return dladdr(address, &info) != 0 ? info.fileName : nullptr;
}

// Calls visit(file, data) for each loaded library until one call returns true; true when one did.
using LibraryVisit = bool (*)(const char* file, void* data);
bool AnyLoadedLibrary(LibraryVisit visit, void* data) {
#if defined(__APPLE__)
  const uint32_t count = _dyld_image_count();
  for (uint32_t i = 0; i < count; ++i) {
    if (visit(_dyld_get_image_name(i), data)) return true;
  }
  return false;
#else
  struct Search {
    LibraryVisit visit;
    void* data;
  } search{visit, data};
  auto each = [](loader::LoadedLibraryInfo* record, size_t, void* searchData) -> int {
    const auto* s = static_cast<const Search*>(searchData);
    return s->visit(record->name, s->data) ? 1 : 0;
  };
  return dl_iterate_phdr(each, &search) != 0;
#endif
}

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

bool TryNamedHostLibrary(const char* file, void* lookup) {
  return file != nullptr && strstr(file, "libavisynth") != nullptr &&
         TryLibrary(file, static_cast<HostLookup*>(lookup));
}

}  // namespace

HostLookup FindHostFunctions(const void* callerAddress) {
  HostLookup lookup{};
  lookup.missing = kHostFunctionEntries[0].missingMessage;
  if (TryLibrary(LibraryFileOf(callerAddress), &lookup)) return lookup;
  if (AnyLoadedLibrary(&TryNamedHostLibrary, &lookup)) return lookup;
  HostLookup global{};
  global.missing = Resolve(loader::DefaultScope(), &global.functions);
  if (global.missing == nullptr || lookup.functions.add_function == nullptr) return global;
  return lookup;
}

}  // namespace sorvan::avs
