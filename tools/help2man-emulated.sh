#!/usr/bin/env bash
# help2man for a command built for another architecture, as the `arm64` preset names it: the
# program (the last argument) runs under the emulator that SORVAN_EMULATOR names (default
# qemu-aarch64), through a script of the program's own name.
#   help2man-emulated.sh HELP2MAN-OPTIONS... PROGRAM
set -euo pipefail
program=${!#}
emulator=${SORVAN_EMULATOR:-qemu-aarch64}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$emulator" "$program" >"$dir/$(basename "$program")"
chmod +x "$dir/$(basename "$program")"
help2man "${@:1:$#-1}" "$dir/$(basename "$program")"
