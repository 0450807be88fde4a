#!/usr/bin/env bash
# The demo: makes the built-in sample clip, filters it with sorvan's defaults and reports how
# much chroma noise went away; then the same at 10 bits. `make demo` builds first and then runs
# this.
#   tools/demo.sh [BUILD_DIR] [OUT_DIR] [FRAMES]
set -euo pipefail
build=${1:-build}
out=${2:-$build/demo}
frames=${3:-125}
mkdir -p "$out"

for bits in 8 10; do
  if [ "$bits" = 8 ]; then
    input="$out/sample.y4m"
    output="$out/sample-sorvan.y4m"
    colour="4:2:0"
  else
    input="$out/sample-10bit.y4m"
    output="$out/sample-10bit-sorvan.y4m"
    colour="10-bit 4:2:0"
  fi
  "$build/bin/sorvan-sample" make "$input" --frames "$frames" --bits "$bits"
  echo "input:  $input (640x360 $colour Y4M, $frames frames at 25 fps: moving shapes with chroma noise)"
  # sorvan prints its one-line summary on standard error.
  "$build/bin/sorvan" "$input" "$output" 2>&1
  echo "output: $output (same format, filtered with the defaults: U and V smoothed, Y untouched)"
  "$build/bin/sorvan-sample" compare "$input" "$output"
done
# What the filter does to one frame: source, filtered, the change (x8) and where a limit kept
# the source (magenta), for tuning rad, str and the limits by eye; then a close look at the edge
# of the rectangle and the disc, enlarged 5 times.
middle=$((frames / 2))
"$build/bin/sorvan" --quiet --compare "$middle" "$out/compare.png" "$out/sample.y4m"
echo "picture: $out/compare.png (frame $middle: source, filtered, difference, limits)"
"$build/bin/sorvan" --quiet --compare "$middle" "$out/compare-close.png" --crop 96x64+160+100 "$out/sample.y4m"
echo "picture: $out/compare-close.png (the same, a 96x64 part enlarged 5 times)"
echo "play them with e.g.: ffplay $out/sample-sorvan.y4m"
