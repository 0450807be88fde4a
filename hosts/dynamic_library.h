// Opening a plug-in library the way the platform's hosts do: dlopen on POSIX, LoadLibrary on
// Windows. One source serves the minimal hosts on Linux and their Windows builds under Wine.
#pragma once

#include <string>

namespace sorvan::hosts {

// The library's handle, or null with the loader's reason in *error. A host opens plug-ins
// privately (RTLD_LOCAL); on Windows the path goes to LoadLibraryA as it is.
void* OpenLibrary(const std::string& path, std::string* error);
// The exported symbol, or null.
void* LibrarySymbol(void* library, const char* name);
void CloseLibrary(void* library);

}  // namespace sorvan::hosts
