#!/bin/sh
# Configures and builds the plug-in with the 2.5 binding alone (SORVAN_BINDINGS=classic) into a
# build directory of its own, then checks it exports the 2.5 entry point and nothing else. Unoptimised:
# the exports do not depend on it, and the fast paths compile in a tenth of the time.
# Usage: check_classic_only_build.sh SOURCE_DIR BUILD_DIR [CXX_COMPILER]
set -eu
source_dir=$1
build_dir=$2
compiler=${3:-c++}
here=$(cd "$(dirname "$0")" && pwd)
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$compiler" \
  -DSORVAN_BUILD_TESTS=OFF -DSORVAN_BINDINGS=classic >"$build_dir.log" 2>&1 || { cat "$build_dir.log" >&2; exit 1; }
cmake --build "$build_dir" --target sorvan -j 2 >>"$build_dir.log" 2>&1 || { tail -n 40 "$build_dir.log" >&2; exit 1; }
sh "$here/check_plugin_symbols.sh" "$build_dir/lib/libsorvan.so" plain AvisynthPluginInit2
