#!/usr/bin/env bash
# Dynamic guest instructions of one 1920x1080 frame through the filter plan, counted under qemu's
# user-mode emulator by count_plugin.c, for each case and every level the build and the emulated
# CPU have (`make bench-instructions`):
#   count.sh PROGRAM PLUGIN "EMULATOR [OPTIONS]"           the table
#   count.sh --check PROGRAM PLUGIN "EMULATOR [OPTIONS]"   the check that the count is the frames' work
# PROGRAM is sorvan_frame_instructions of that build.
set -euo pipefail
check=false
if [ "${1:-}" = --check ]; then
  check=true
  shift
fi
program=$1 plugin=$2 emulator=$3

# count CASE LEVEL FRAMES: prints the frames' instructions and the kernel table the plan chose.
# The program marks three points; the frames lie between the second and the third, and the cost
# of a marker itself is what lies between the first and the second.
count() {
  local log kernel
  log=$(mktemp)
  kernel=$($emulator -plugin "$plugin" -d plugin -D "$log" "$program" "$1" "$2" "$3")
  awk -v kernel="${kernel##* }" '$1 == "sorvan-mark" { mark[$2] = $3; marks++ }
    END { if (marks != 3) exit 1; printf "%.0f %s\n", (mark[2] - mark[1]) - (mark[1] - mark[0]), kernel }' "$log" ||
    { echo "count.sh: no markers counted for $1 at $2 (is $plugin loadable?)" >&2; rm -f "$log"; return 1; }
  rm -f "$log"
}

if $check; then
  one=$(count 420p8_defaults scalar 1)
  two=$(count 420p8_defaults scalar 2)
  one=${one%% *} two=${two%% *}
  smoothed=$((2 * 960 * 540))
  echo "420p8_defaults at the reference: $one instructions for one frame, $two for two"
  # Exact but for the frame loop's entry and exit, a few instructions.
  difference=$((two - 2 * one))
  [ "${difference#-}" -le 16 ] || { echo "FAIL: two frames are not twice one frame"; exit 1; }
  [ "$one" -ge "$smoothed" ] || { echo "FAIL: fewer instructions than smoothed samples ($smoothed)"; exit 1; }
  echo "ok"
  exit 0
fi

echo "Guest instructions per 1920x1080 frame through the plan, counted under $emulator"
echo "(TCG plug-in; the frame's work alone, between markers); x ref = reference count / path count"
printf '%-16s %-8s %-12s %14s %12s %7s\n' case level table instructions "per sample" "x ref"
levels=$($emulator "$program" --levels)
for case in 420p8_defaults 420p10_defaults 444f32_defaults; do
  # The defaults smooth U and V: quarter planes at 4:2:0, full ones at 4:4:4.
  case $case in 444*) smoothed=$((2 * 1920 * 1080)) ;; *) smoothed=$((2 * 960 * 540)) ;; esac
  reference=""
  for level in $levels; do
    result=$(count "$case" "$level" 1)
    instructions=${result%% *} kernel=${result#* }
    reference=${reference:-$instructions}
    printf '%-16s %-8s %-12s %14s %12s %7s\n' "$case" "$level" "$kernel" "$instructions" \
      "$(awk -v n="$instructions" -v s="$smoothed" 'BEGIN { printf "%.1f", n / s }')" \
      "$(awk -v n="$instructions" -v r="$reference" 'BEGIN { printf "%.1f", r / n }')"
  done
done
