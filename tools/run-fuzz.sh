#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time with a fixed seed, starting from its
# committed seed corpus (copied, so the run never changes the repository). Targets run side by
# side, one per core: each is single-threaded.
# Usage: tools/run-fuzz.sh [seconds per target, default 20]
set -euo pipefail
seconds=${1:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/fuzz/bin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cores=$(nproc)

run_target() {
  local target=$1 name
  name=$(basename "$target")
  mkdir -p "$work/$name"
  if [ -d "$root/fuzz/corpus/$name" ]; then cp "$root/fuzz/corpus/$name"/* "$work/$name/" 2>/dev/null || true; fi
  local status=0
  (cd "$work" && "$target" -seed=1 -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work/$name" \
    >"$work/$name.log" 2>&1) || status=$?
  echo "$status" >"$work/$name.status"
}

names=()
for target in "$bin"/fuzz_*; do
  [ -x "$target" ] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$cores" ]; do wait -n || true; done
  run_target "$target" &
  names+=("$(basename "$target")")
done
wait || true

status=0
for name in "${names[@]}"; do
  log="$work/$name.log"
  if [ "$(cat "$work/$name.status" 2>/dev/null)" = 0 ]; then
    runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1 || true)
    echo "fuzz: $name: ${runs:-no summary} in ${seconds}s, no failure"
  else
    echo "fuzz: $name FAILED; its log ends:"
    tail -n 40 "$log"
    status=1
  fi
done
if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz: no target built in $bin" >&2
  status=1
fi
exit $status
