#!/usr/bin/env bash
# How strongly the picture moves with the music's kick from 1:00 on, in the
# show and in the calmer show (demo --reduce-flashes): the capture tool's
# frames at 60 frames/s of 1:00 to 1:54, at 640x360, read by bench/beat_kept
# (kick contrast and beat share per stretch, one column per show).
# Usage: bench/beat_kept.sh [build folder, default build-bench/]
#   [an earlier build's capture tool, for a third column: its calmer show]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/build-folder.sh
configure_bench_folder "${1:-}"
earlier=${2:+$(realpath "$2")}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --build "$build" --target capture assets beat_kept >/dev/null
cd "$build"
moments=$(bench/beat_kept --moments)
mkdir -p "$scratch/show" "$scratch/calmer"
./capture --at "$moments" --out "$scratch/show" --size 640x360 >/dev/null
./capture --at "$moments" --out "$scratch/calmer" --size 640x360 --reduce-flashes >/dev/null
columns=("$scratch/show")
if [ -n "$earlier" ]; then
  mkdir -p "$scratch/calmer-before"
  # The earlier tool draws with this build's assets, which it shares.
  "$earlier" --at "$moments" --out "$scratch/calmer-before" --size 640x360 --reduce-flashes >/dev/null
  columns+=("$scratch/calmer-before")
fi
columns+=("$scratch/calmer")
bench/beat_kept "${columns[@]}"
