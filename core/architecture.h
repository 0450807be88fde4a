// The one place that tells which processor architecture the code is compiled for, from the
// compilers' own macros (GCC, clang and MSVC). Each architecture with fast paths has a folder
// of its own (core/x86/, core/arm/) whose ladder of instruction sets is compiled only here.
// Exactly one of the macros below is 1.
#pragma once

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#define SORVAN_ARCH_X86 1
#elif defined(__aarch64__) || defined(_M_ARM64)
#define SORVAN_ARCH_ARM64 1
#else
// Any other processor: the portable reference alone.
#define SORVAN_ARCH_PORTABLE 1
#endif

#ifndef SORVAN_ARCH_X86
#define SORVAN_ARCH_X86 0
#endif
#ifndef SORVAN_ARCH_ARM64
#define SORVAN_ARCH_ARM64 0
#endif
#ifndef SORVAN_ARCH_PORTABLE
#define SORVAN_ARCH_PORTABLE 0
#endif
