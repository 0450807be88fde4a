/* The part of <stdlib.h> the plug-in uses, as msvcrt.dll provides it (both Windows builds). */
#pragma once
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) void* __cdecl malloc(size_t size);
__declspec(dllimport) void* __cdecl calloc(size_t count, size_t size);
__declspec(dllimport) void* __cdecl realloc(void* block, size_t size);
__declspec(dllimport) void __cdecl free(void* block);
__declspec(dllimport) __declspec(noreturn) void __cdecl abort(void);
__declspec(dllimport) char* __cdecl getenv(const char* name);
#ifdef __cplusplus
}
#endif
