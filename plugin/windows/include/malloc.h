/* <malloc.h> as the compiler's intrinsics headers need it on Windows (_mm_malloc, _mm_free),
   with msvcrt.dll's aligned allocation (both Windows builds). */
#pragma once
#include <stdlib.h>
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) void* __cdecl _aligned_malloc(size_t size, size_t alignment);
__declspec(dllimport) void __cdecl _aligned_free(void* block);
#ifdef __cplusplus
}
#endif
