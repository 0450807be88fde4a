# 64-bit ARM Linux, cross-compiled on a Debian machine (`make arm64`, the `arm64` preset): Debian's
# aarch64-linux-gnu compilers and their C library, and the arm64 libraries of the multiarch
# packages (libgtest-dev:arm64, libfmt-dev:arm64, libpng-dev:arm64) in /usr/lib/aarch64-linux-gnu,
# which CMake searches for this library architecture. Headers-only packages (CLI11) are shared.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Test programs, and the build's own tools, run under user-mode emulation, with the arm64 C and
# C++ runtime of the multiarch packages (/lib/ld-linux-aarch64.so.1, /usr/lib/aarch64-linux-gnu).
# Not with `-L /usr/aarch64-linux-gnu`: threads waiting on a condition variable spin for minutes
# under qemu 7.2 with the cross packages' older C library.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)

# The Debian architecture of what this build makes, for `make deb DEB_ARCH=arm64`.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
