#!/usr/bin/env bash
# The reduced-flash cut of the whole show: the flash figures of both cuts,
# how far the reduced one departs from the normal one inside and outside the
# failing ranges, the time it takes, and stills of both cuts side by side.
# Too slow for the test run (the show is rendered twice), so it runs here.
# Usage: bench/reduced_flashes.sh [build folder] [WxH, default 960x540] [stills folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
size=${2:-960x540}
stills=${3:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --build "$build" --target capture assets >/dev/null
cd "$build"

started=$(date +%s.%N)
./capture --video "$scratch/reduced.mp4" --reduce-flashes --size "$size" 2>/dev/null
awk -v s="$started" -v e="$(date +%s.%N)" -v size="$size" \
  'BEGIN { printf "rendered, analysed and encoded at %s in %.0f s\n", size, e - s }'

[ -n "$stills" ] || exit 0
mkdir -p "$stills"
./capture --at 61000,97000 --out "$scratch" --size "$size" >/dev/null
for ms in 61000 97000; do
  # Frame n of the 60 fps video is show time n * 1000 / 60 ms.
  ffmpeg -loglevel error -y -i "$scratch/reduced.mp4" -vf "select=eq(n\,$((ms * 60 / 1000)))" \
    -frames:v 1 "$scratch/reduced_$ms.png"
  ffmpeg -loglevel error -y -i "$scratch/frame_0$ms.png" -i "$scratch/reduced_$ms.png" \
    -filter_complex hstack "$stills/normal_and_reduced_0$ms.png"
  echo "$stills/normal_and_reduced_0$ms.png"
done
