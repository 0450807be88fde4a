/* The part of <string.h> the plug-in uses, as msvcrt.dll provides it (both Windows builds). */
#pragma once
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
void* __cdecl memcpy(void* dst, const void* src, size_t count);
void* __cdecl memmove(void* dst, const void* src, size_t count);
void* __cdecl memset(void* dst, int value, size_t count);
int __cdecl memcmp(const void* a, const void* b, size_t count);
size_t __cdecl strlen(const char* text);
int __cdecl strcmp(const char* a, const char* b);
char* __cdecl strstr(const char* text, const char* part);
#ifdef __cplusplus
}
#endif
