#!/usr/bin/env bash
# Cost per 1920x1080 4:2:0 frame (8-bit, and 10-bit yuv420p10le) of whole commands, one thread
# each, with start-up taken out:
# every command is timed (hyperfine, median of several runs) on 100 frames and on 10 frames,
# and per frame = (t100 − t10) / 90. Compares the sorvan command with the ffmpeg filters a user
# would pick instead. Installs ffmpeg and hyperfine from Debian when they are missing; they are
# benchmark tools only, never needed to build, test or run the filter.
#
#   bash bench/peers.sh            (or: make bench-peers)
#   SORVAN=/path/to/sorvan RUNS=5 bash bench/peers.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sorvan="${SORVAN:-$root/build/bin/sorvan}"
runs="${RUNS:-5}"

if [ ! -x "$sorvan" ]; then
  echo "bench-peers: $sorvan not found; build it first (make build) or set SORVAN=" >&2
  exit 1
fi

missing=()
command -v ffmpeg >/dev/null || missing+=(ffmpeg)
command -v hyperfine >/dev/null || missing+=(hyperfine)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "bench-peers: please install ${missing[*]} (Debian packages) or run as root" >&2
    exit 1
  fi
  echo "bench-peers: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

size=1920x1080
frame_bytes=$((1920 * 1080 * 3 / 2))
# A moving test picture with temporal noise, so there is something to smooth; the same at 10 bits.
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc2=size=$size:rate=25,noise=alls=10:allf=t+u" \
  -frames:v 100 -pix_fmt yuv420p -f rawvideo "$tmp/in100.yuv"
head -c $((frame_bytes * 10)) "$tmp/in100.yuv" >"$tmp/in10.yuv"
ffmpeg -nostdin -loglevel error -f rawvideo -pix_fmt yuv420p -video_size $size -i "$tmp/in100.yuv" \
  -pix_fmt yuv420p10le -f rawvideo "$tmp/in100-10.yuv"
head -c $((frame_bytes * 2 * 10)) "$tmp/in100-10.yuv" >"$tmp/in10-10.yuv"

names=()
commands=()
add() {
  names+=("$1")
  commands+=("$2")
}
ff() { echo "ffmpeg -nostdin -loglevel error -threads 1 -filter_threads 1 -f rawvideo -pix_fmt yuv420p -video_size $size -i INPUT -vf $1 -f null -"; }
ff10() { echo "ffmpeg -nostdin -loglevel error -threads 1 -filter_threads 1 -f rawvideo -pix_fmt yuv420p10le -video_size $size -i INPUT10 -vf $1 -f null -"; }

add "sorvan defaults" "$sorvan --quiet --threads 1 --format i420 --size $size INPUT /dev/null"
add "sorvan force rad 5" "$sorvan --quiet --threads 1 --force true --rad 5 --format i420 --size $size INPUT /dev/null"
add "ffmpeg null" "$(ff null)"
add "ffmpeg gblur" "$(ff gblur=sigma=4:steps=1:planes=6)"
add "ffmpeg avgblur" "$(ff avgblur=sizeX=5:sizeY=5:planes=6)"
add "ffmpeg boxblur" "$(ff boxblur=luma_radius=0:luma_power=0:chroma_radius=5:chroma_power=1)"
add "ffmpeg smartblur" "$(ff smartblur=luma_radius=0.1:luma_strength=0:luma_threshold=0:chroma_radius=4:chroma_strength=1:chroma_threshold=4)"
first10=${#names[@]}
add "sorvan 10-bit" "$sorvan --quiet --threads 1 --format yuv420p10le --size $size INPUT10 /dev/null"
add "ffmpeg null 10-bit" "$(ff10 null)"
add "ffmpeg gblur 10-bit" "$(ff10 gblur=sigma=4:steps=1:planes=6)"
add "ffmpeg avgblur 10-bit" "$(ff10 avgblur=sizeX=5:sizeY=5:planes=6)"

# Median seconds of one command on one input.
median_of() {
  local cmd="${1//INPUT10/$2}"
  cmd="${cmd//INPUT/$2}"
  hyperfine --style none --warmup 1 --runs "$runs" --export-csv "$tmp/t.csv" "$cmd" >/dev/null
  awk -F, 'NR == 2 { print $4 }' "$tmp/t.csv"
}

per_frame=()
for i in "${!names[@]}"; do
  suffix=""
  [ "$i" -ge "$first10" ] && suffix="-10"
  t100="$(median_of "${commands[$i]}" "$tmp/in100$suffix.yuv")"
  t10="$(median_of "${commands[$i]}" "$tmp/in10$suffix.yuv")"
  per_frame+=("$(awk -v a="$t100" -v b="$t10" 'BEGIN { printf "%.3f", (a - b) / 90 * 1000 }')")
done

ours="${per_frame[0]}"
ours_force="${per_frame[1]}"
null="${per_frame[2]}"
echo
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), one thread per command"
echo "1920x1080 4:2:0, whole command per frame = (time for 100 frames - time for 10 frames) / 90"
printf '%-20s %12s %16s %12s %14s\n' "command" "ms/frame" "filter alone" "x defaults" "x force rad 5"
for i in "${!names[@]}"; do
  [ "$i" -ge "$first10" ] && break
  alone="-"
  case "${names[$i]}" in
    ffmpeg\ null) alone="0" ;;
    ffmpeg*) alone="$(awk -v a="${per_frame[$i]}" -v b="$null" 'BEGIN { printf "%.3f", a - b }')" ;;
  esac
  awk -v n="${names[$i]}" -v t="${per_frame[$i]}" -v al="$alone" -v o="$ours" -v f="$ours_force" \
    'BEGIN { printf "%-20s %12.3f %16s %12.2f %14.2f\n", n, t, al, (o > 0 ? t / o : 0), (f > 0 ? t / f : 0) }'
done

# 10 bits: the same picture as yuv420p10le, sorvan's defaults against gblur and avgblur.
ours10="${per_frame[$first10]}"
null10="${per_frame[$((first10 + 1))]}"
gblur10="${per_frame[$((first10 + 2))]}"
echo
echo "1920x1080 yuv420p10le, same method"
printf '%-22s %12s %16s %12s\n' "command" "ms/frame" "filter alone" "x sorvan"
for i in "${!names[@]}"; do
  [ "$i" -lt "$first10" ] && continue
  alone="-"
  case "${names[$i]}" in
    ffmpeg\ null*) alone="0" ;;
    ffmpeg*) alone="$(awk -v a="${per_frame[$i]}" -v b="$null10" 'BEGIN { printf "%.3f", a - b }')" ;;
  esac
  awk -v n="${names[$i]}" -v t="${per_frame[$i]}" -v al="$alone" -v o="$ours10" \
    'BEGIN { printf "%-22s %12.3f %16s %12.2f\n", n, t, al, (o > 0 ? t / o : 0) }'
done
awk -v o="$ours10" -v g="$gblur10" 'BEGIN { printf "sorvan 10-bit / gblur 10-bit: %.2f (the aim: at most 0.50)\n", (g > 0 ? o / g : 0) }'
