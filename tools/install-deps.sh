#!/usr/bin/env bash
# Installs the Debian packages the build, tests and tools need; quiet and quick when all are there.
set -euo pipefail
packages=(
  build-essential cmake make g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libfmt-dev libpng-dev
  clang libclang-rt-14-dev llvm
  lld python3-unicorn
  help2man dpkg-dev
  python3-pip git
)
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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
