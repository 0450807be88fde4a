# Cross-compiling sorvan64.dll for 64-bit Windows hosts with Debian's clang and lld: the Microsoft
# x64 ABI (x86_64-pc-windows-msvc), no Windows SDK, no C runtime library, as for the 32-bit DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_AR llvm-ar CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib CACHE FILEPATH "")

set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_MSVC_RUNTIME_LIBRARY "")

# The same instruction-set baseline and floating-point contract as the Linux x86-64 build, so the
# float path computes bit for bit what it computes there. No C++ exceptions: the 64-bit DLL serves
# only the two C interfaces, whose hosts never throw through a plug-in's frames; unwind tables
# stay on (every function gets its .pdata entry, which Windows needs to walk any x64 stack).
set(CMAKE_CXX_FLAGS_INIT "-nostdlibinc -isystem ${CMAKE_CURRENT_LIST_DIR}/include -ffp-contract=off -fms-extensions -fno-exceptions -funwind-tables -fno-rtti -fno-threadsafe-statics -ffunction-sections -fdata-sections")
set(CMAKE_C_FLAGS_INIT "-nostdlibinc -isystem ${CMAKE_CURRENT_LIST_DIR}/include -ffp-contract=off -funwind-tables -ffunction-sections -fdata-sections")
