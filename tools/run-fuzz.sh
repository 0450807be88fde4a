#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time with a fixed seed, starting from its
# committed seed corpus (copied, so the run never changes the repository).
# Usage: tools/run-fuzz.sh [seconds per target, default 20]
set -euo pipefail
seconds=${1:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/fuzz/bin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "$bin"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name"
  if [ -d "$root/fuzz/corpus/$name" ]; then cp "$root/fuzz/corpus/$name"/* "$work/$name/" 2>/dev/null || true; fi
  log="$work/$name.log"
  if (cd "$work" && "$target" -seed=1 -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work/$name" >"$log" 2>&1); then
    runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1)
    echo "fuzz: $name: ${runs:-no summary} in ${seconds}s, no failure"
  else
    echo "fuzz: $name FAILED; its log ends:"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
