#!/bin/sh
# Checks what the built plug-in shows the loader: it defines exactly the entry points of the
# bindings built in, and needs nothing but the C and C++ runtime libraries (and, in a sanitizer
# build, the sanitizer runtimes).
# Usage: check_plugin_symbols.sh libsorvan.so plain|sanitized [ENTRY_POINT...]
# (the entry points default to the 2.5 one alone).
set -eu
lib=$1
sanitized=${2:-}
[ "$sanitized" = plain ] && sanitized=
[ $# -ge 2 ] && shift 2 || shift $#
[ $# -eq 0 ] && set -- AvisynthPluginInit2
status=0

expected=$(printf '%s\n' "$@" | sort)
defined=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$defined" != "$expected" ]; then
  echo "exported symbols differ from the entry points; expected:" >&2
  echo "$expected" >&2
  echo "found:" >&2
  echo "$defined" >&2
  status=1
fi

allowed='^(libc\.so\.6|libm\.so\.6|libstdc\+\+\.so\.6|libgcc_s\.so\.1)$'
[ -n "$sanitized" ] && allowed='^(libc\.so\.6|libm\.so\.6|libstdc\+\+\.so\.6|libgcc_s\.so\.1|libasan\.so\.[0-9]+|libubsan\.so\.[0-9]+)$'
for needed in $(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  if ! echo "$needed" | grep -Eq "$allowed"; then
    echo "needs a library outside the runtimes: $needed" >&2
    status=1
  fi
done

# Every strong undefined symbol comes from a runtime library, as its version tag shows.
for symbol in $(nm -D --undefined-only "$lib" | awk '$1 == "U" {print $2}'); do
  case "$symbol" in
    *@GLIBC_* | *@GLIBCXX_* | *@CXXABI_* | *@GCC_*) ;;
    __asan_* | __ubsan_* | __sanitizer_* | __lsan_* | malloc | calloc | free | memcpy | memset | memmove | \
    dlopen | dlclose | strcmp | strstr)
      [ -n "$sanitized" ] || { echo "undefined symbol outside the runtimes: $symbol" >&2; status=1; } ;;
    *) echo "undefined symbol outside the runtimes: $symbol" >&2; status=1 ;;
  esac
done
exit $status
