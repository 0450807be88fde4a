#!/bin/sh
# Checks what the built plug-in shows the loader: it defines exactly the entry points of the host
# interfaces, and needs nothing but the C and C++ runtime libraries (and, in a sanitizer build, the
# sanitizer runtimes). Usage: check_plugin_symbols.sh libsorvan.so [sanitized]
set -eu
lib=$1
sanitized=${2:-}
status=0

# One entry point per host interface, each exported and nothing else.
entry_points="
AvisynthPluginInit2
VapourSynthPluginInit2
"
defined=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
for symbol in $defined; do
  if ! echo "$entry_points" | grep -qx "$symbol"; then
    echo "exported symbol that is no entry point: $symbol" >&2
    status=1
  fi
done
for entry in $entry_points; do
  if ! echo "$defined" | grep -qx "$entry"; then
    echo "entry point not exported: $entry" >&2
    status=1
  fi
done

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
    __asan_* | __ubsan_* | __sanitizer_* | __lsan_* | malloc | calloc | free | memcpy | memset | memmove | strcmp)
      [ -n "$sanitized" ] || { echo "undefined symbol outside the runtimes: $symbol" >&2; status=1; } ;;
    *) echo "undefined symbol outside the runtimes: $symbol" >&2; status=1 ;;
  esac
done
exit $status
