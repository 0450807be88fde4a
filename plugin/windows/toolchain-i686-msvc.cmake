# Cross-compiling sorvan.dll for 32-bit Windows hosts with Debian's clang and lld: the Microsoft
# C++ ABI (i686-pc-windows-msvc), no Windows SDK, no C runtime library. The few C functions the
# plug-in calls are declared by the headers in include/ and imported from msvcrt.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_AR llvm-ar CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib CACHE FILEPATH "")

# There is no C runtime to link test programs against: check the compiler by compiling only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# No C runtime selection flags either: the DLL names msvcrt.dll itself.
set(CMAKE_MSVC_RUNTIME_LIBRARY "")

# SSE2 for double arithmetic (the Gaussian weights) as on x86-64, so the tables come out the
# same as in the Linux build; the Microsoft exception model; no RTTI and no thread-safe
# statics, which would need runtime-library support this DLL does not have.
set(CMAKE_CXX_FLAGS_INIT "-nostdlibinc -isystem ${CMAKE_CURRENT_LIST_DIR}/include -msse2 -mfpmath=sse -ffp-contract=off -fms-extensions -fexceptions -fcxx-exceptions -fno-rtti -fno-threadsafe-statics -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "-nostdlibinc -isystem ${CMAKE_CURRENT_LIST_DIR}/include -msse2 -mfpmath=sse -ffp-contract=off -ffunction-sections -fdata-sections")
