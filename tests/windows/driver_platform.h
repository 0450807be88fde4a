// The little the test drivers need from their system, for Windows (declared here, so that the
// Microsoft-ABI build needs no SDK) and for Linux: the instruction-set cap the plug-in reads
// from its C runtime's environment, whether the plug-in library is still loaded, where it was
// loaded, and threads.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
extern "C" {
__declspec(dllimport) void* __stdcall GetModuleHandleA(const char* name);
__declspec(dllimport) void* __stdcall VirtualAlloc(void* address, size_t size, unsigned long type,
                                                   unsigned long protect);
__declspec(dllimport) void* __stdcall CreateThread(void* security, size_t stack, unsigned long(__stdcall* start)(void*),
                                                   void* argument, unsigned long flags, unsigned long* id);
__declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void* handle, unsigned long milliseconds);
__declspec(dllimport) int __stdcall CloseHandle(void* handle);
__declspec(dllimport) int __cdecl _putenv(const char* assignment);
}
#else
#include <dlfcn.h>
#include <pthread.h>
#include <stdlib.h>
#endif

namespace sorvan::windows_test {

// SORVAN_MAX_ISA as the plug-in will read it; null removes it. On Windows the plug-in reads
// msvcrt.dll's copy of the environment, which _putenv changes.
inline void SetInstructionSetCap(const char* level) {
#if defined(_WIN32)
  char assignment[64] = "SORVAN_MAX_ISA=";
  for (int i = 0; level != nullptr && level[i] != '\0' && i < 40; ++i) assignment[15 + i] = level[i];
  _putenv(assignment);
#else
  if (level != nullptr) {
    setenv("SORVAN_MAX_ISA", level, 1);
  } else {
    unsetenv("SORVAN_MAX_ISA");
  }
#endif
}

// The module's load address while it is loaded, else 0. Windows looks it up by file name.
inline uintptr_t LoadedAt(const char* path) {
#if defined(_WIN32)
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return reinterpret_cast<uintptr_t>(GetModuleHandleA(name));
#else
  void* library = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return 0;
  dlclose(library);
  return 1;
#endif
}

// Takes the address range a module was loaded at, so that the next load of it must be placed
// elsewhere and relocated by the loader. Windows only: dlopen has no preferred address.
#if defined(_WIN32)
inline constexpr bool kRelocatesOnReload = true;
#else
inline constexpr bool kRelocatesOnReload = false;
#endif
inline void OccupyAddress(uintptr_t address) {
#if defined(_WIN32)
  constexpr unsigned long kMemReserve = 0x2000, kPageNoAccess = 0x01;
  if (address != 0) VirtualAlloc(reinterpret_cast<void*>(address), 0x10000, kMemReserve, kPageNoAccess);
#else
  (void)address;
#endif
}

// Runs work(context, i) for i in 0..count-1 (at most 16), each on a thread of its own, all at
// once: Windows threads on Windows.
using ThreadWork = void (*)(void* context, int index);
struct ThreadTask {
  ThreadWork work;
  void* context;
  int index;
};
#if defined(_WIN32)
inline unsigned long __stdcall RunThreadTask(void* task) {
#else
inline void* RunThreadTask(void* task) {
#endif
  const ThreadTask* t = static_cast<const ThreadTask*>(task);
  t->work(t->context, t->index);
  return 0;
}

inline void RunOnThreads(int count, ThreadWork work, void* context) {
  constexpr int kMaxThreads = 16;
  count = count < kMaxThreads ? count : kMaxThreads;
  ThreadTask tasks[kMaxThreads];
#if defined(_WIN32)
  void* threads[kMaxThreads];
  for (int i = 0; i < count; ++i) {
    tasks[i] = {work, context, i};
    threads[i] = CreateThread(nullptr, 0, &RunThreadTask, &tasks[i], 0, nullptr);
  }
  for (int i = 0; i < count; ++i) {
    WaitForSingleObject(threads[i], 0xFFFFFFFFul);
    CloseHandle(threads[i]);
  }
#else
  pthread_t threads[kMaxThreads];
  for (int i = 0; i < count; ++i) {
    tasks[i] = {work, context, i};
    pthread_create(&threads[i], nullptr, &RunThreadTask, &tasks[i]);
  }
  for (int i = 0; i < count; ++i) pthread_join(threads[i], nullptr);
#endif
}

}  // namespace sorvan::windows_test
