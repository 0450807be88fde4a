// Run-time look-up with the dynamic loader. Undefined avs_* references would be resolved only in
// the program's global scope, never in a host library that was itself opened privately (a program
// embedding AviSynth+ with dlopen), so the plug-in names none and asks the loader instead.
#include <dlfcn.h>
#include <link.h>

#include "plugin/avisynth_c/host_functions.h"

namespace sorvan::avs {
namespace {

struct Entry {
  const char* name;
  size_t offset;  // of the pointer in HostFunctions
  const char* missingMessage;  // null: optional
};

// Each refusal is a literal: it is handed to the host as an error value, which must outlive
// the call, and the host's own string store may be what is missing.
#define SORVAN_HOST_FUNCTION(field, required)                                                    \
  {"avs_" #field, offsetof(HostFunctions, field),                                              \
   required ? "Sorvan: this AviSynth+ lacks the C interface function avs_" #field ", which the filter needs" \
            : nullptr}
constexpr Entry kEntries[] = {
    SORVAN_HOST_FUNCTION(add_function, true),
    SORVAN_HOST_FUNCTION(check_version, true),
    SORVAN_HOST_FUNCTION(new_c_filter, true),
    SORVAN_HOST_FUNCTION(take_clip, true),
    SORVAN_HOST_FUNCTION(release_clip, true),
    SORVAN_HOST_FUNCTION(get_video_info, true),
    SORVAN_HOST_FUNCTION(set_to_clip, true),
    SORVAN_HOST_FUNCTION(get_frame, true),
    SORVAN_HOST_FUNCTION(clip_get_error, true),
    SORVAN_HOST_FUNCTION(release_video_frame, true),
    SORVAN_HOST_FUNCTION(new_video_frame_a, true),
    SORVAN_HOST_FUNCTION(get_pitch_p, true),
    SORVAN_HOST_FUNCTION(get_row_size_p, true),
    SORVAN_HOST_FUNCTION(get_height_p, true),
    SORVAN_HOST_FUNCTION(get_read_ptr_p, true),
    SORVAN_HOST_FUNCTION(get_write_ptr_p, true),
    SORVAN_HOST_FUNCTION(bit_blt, true),
    SORVAN_HOST_FUNCTION(save_string, true),
    SORVAN_HOST_FUNCTION(new_video_frame_p, false),
};
#undef SORVAN_HOST_FUNCTION

// Fills the table from one library handle (or RTLD_DEFAULT); returns the first required name
// that is missing, or null.
const char* Resolve(void* handle, HostFunctions* functions) {
  const char* missing = nullptr;
  for (const Entry& entry : kEntries) {
    void* symbol = dlsym(handle, entry.name);
    // Function pointers and object pointers have the same size on every POSIX target.
    memcpy(reinterpret_cast<uint8_t*>(functions) + entry.offset, &symbol, sizeof symbol);
    if (symbol == nullptr && entry.missingMessage != nullptr && missing == nullptr) missing = entry.missingMessage;
  }
  return missing;
}

// A handle to the already loaded library `path`, without loading a second copy.
void* LoadedLibrary(const char* path) {
  return path != nullptr ? dlopen(path, RTLD_LAZY | RTLD_NOLOAD) : nullptr;
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

int VisitLibrary(dl_phdr_info* info, size_t /*size*/, void* data) {
  auto* search = static_cast<NamedLibrarySearch*>(data);
  if (info->dlpi_name != nullptr && strstr(info->dlpi_name, "libavisynth") != nullptr &&
      TryLibrary(info->dlpi_name, search->lookup)) {
    search->found = true;
    return 1;
  }
  return 0;
}

}  // namespace

HostLookup FindHostFunctions(const void* callerAddress) {
  HostLookup lookup{};
  lookup.missing = kEntries[0].missingMessage;
  Dl_info caller{};
  if (dladdr(callerAddress, &caller) != 0 && TryLibrary(caller.dli_fname, &lookup)) return lookup;
  NamedLibrarySearch search{&lookup, false};
  dl_iterate_phdr(&VisitLibrary, &search);
  if (search.found) return lookup;
  HostLookup global{};
  global.missing = Resolve(RTLD_DEFAULT, &global.functions);
  if (global.missing == nullptr || lookup.functions.add_function == nullptr) return global;
  return lookup;
}

}  // namespace sorvan::avs
