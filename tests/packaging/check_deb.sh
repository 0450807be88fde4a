#!/usr/bin/env bash
# The Debian package, checked without installing it: built by CPack from this build, unpacked with
# dpkg-deb -x into a temporary folder, its control fields and file list as they should be, and
# the command inside it filtering a small Y4M exactly as the build's command does.
#   check_deb.sh BUILD_DIR VERSION LIBDIR
set -euo pipefail
build=$1
version=$2
libdir=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
deb="$tmp/out/sorvan_${version}_${arch}.deb"
check "package file sorvan_${version}_${arch}.deb built" test -f "$deb"
[ -f "$deb" ] || exit 1

field() { dpkg-deb -f "$deb" "$1"; }
check "Package: sorvan" test "$(field Package)" = sorvan
check "Version: $version (the project version)" test "$(field Version)" = "$version"
check "Architecture: $arch" test "$(field Architecture)" = "$arch"
depends=$(field Depends)
check "Depends computed from the binaries: libc6 and libstdc++6 ($depends)" \
  bash -c '[[ "$1" == *libc6* && "$1" == *libstdc++6* ]]' _ "$depends"
check "Description with a summary and a body" bash -c '[ "$(dpkg-deb -f "$1" Description | wc -l)" -ge 2 ]' _ "$deb"

dpkg-deb -x "$deb" "$tmp/root"
expected=$(printf '%s\n' ./usr/bin/sorvan "./usr/$libdir/avisynth/libsorvan.so" "./usr/$libdir/vapoursynth/libsorvan.so" \
  ./usr/share/man/man1/sorvan.1.gz ./usr/share/doc/sorvan/copyright | sort)
actual=$(cd "$tmp/root" && find . -type f -o -type l | sort)
check "files: the command, the plug-in in both hosts' folders, the manual page, the copyright" test "$actual" = "$expected"
[ "$actual" = "$expected" ] || printf 'expected:\n%s\nactual:\n%s\n' "$expected" "$actual"

copyright="$tmp/root/usr/share/doc/sorvan/copyright"
check "copyright: machine-readable, MIT (Expat) for all files, the terms of LICENSE" bash -c '
  head -1 "$1" | grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" &&
  grep -qx "Files: \*" "$1" && grep -qx "Copyright: 2026 The Sorvan developers" "$1" &&
  diff <(sed -n "/^License: Expat$/,\$p" "$1" | tail -n +2 | sed "s/^ //; s/^\.$//") <(tail -n +5 "$2")' \
  _ "$copyright" "$(dirname "$0")/../../LICENSE"

sorvan="$tmp/root/usr/bin/sorvan"
check "packaged sorvan --version prints the project version" test "$("$sorvan" --version)" = "sorvan $version"
man=$(zcat "$tmp/root/usr/share/man/man1/sorvan.1.gz")
check "manual page sorvan(1) of this version, with the filter's options" \
  bash -c '[[ "$1" == *".TH SORVAN \"1\""* && "$1" == *"sorvan $2"* && "$1" == *"\\-\\-rad"* && "$1" == *"\\-\\-threads"* ]]' \
  _ "$man" "$version"

"$build/bin/sorvan-sample" make "$tmp/in.y4m" --frames 3 >/dev/null
"$build/bin/sorvan" --quiet "$tmp/in.y4m" "$tmp/build.y4m"
# The packaged binary, with the libraries its Depends name, must compute what the build's does.
"$sorvan" --quiet "$tmp/in.y4m" "$tmp/packaged.y4m"
check "packaged sorvan filters the sample (output differs from the input)" bash -c '! cmp -s "$1" "$2"' _ \
  "$tmp/in.y4m" "$tmp/packaged.y4m"
check "packaged sorvan's output equals the build's byte for byte" cmp "$tmp/build.y4m" "$tmp/packaged.y4m"

[ "$failures" -eq 0 ] && echo "package checks passed" || { echo "$failures package check(s) failed"; exit 1; }
