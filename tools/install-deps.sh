#!/usr/bin/env bash
# Installs the Debian packages the build, tests and tools need; quiet and quick when all are there.
set -euo pipefail
native=$(dpkg --print-architecture)
# Libraries that exist for both architectures are asked for with their architecture: a bare name
# would also match the ARM64 package.
packages=(
  build-essential cmake make g++ pkg-config
  "libgtest-dev:$native" "libgmock-dev:$native" libbenchmark-dev libcli11-dev "libfmt-dev:$native"
  "libpng-dev:$native"
  clang libclang-rt-14-dev llvm
  lld python3
  # The Windows DLLs' test programs (mingw-w64) and Wine to run them, 32-bit Wine included.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386
  help2man dpkg-dev
  python3-pip git
)
# The ARM64 build (`make arm64`): the cross compiler and C library, the target's libraries and
# runtime from Debian's arm64 archive (multiarch), and the user-mode emulator its tests run under.
if [ "$native" != arm64 ]; then
  packages+=(
    g++-aarch64-linux-gnu libc6-dev-arm64-cross qemu-user
    libgtest-dev:arm64 libgmock-dev:arm64 libfmt-dev:arm64 libpng-dev:arm64 libstdc++6:arm64
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from the i386 architecture, the ARM64 build's libraries from arm64.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
if [[ " ${missing[*]}" == *:arm64* ]]; then
  dpkg --print-foreign-architectures | grep -qx arm64 || dpkg --add-architecture arm64
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
