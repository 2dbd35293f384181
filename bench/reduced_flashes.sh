#!/usr/bin/env bash
# The reduced-flashing mode (demo --reduce-flashes) against the flash
# thresholds at every frame rate and size asked for: per run, the largest
# share of a 10° field that flashes more than three times a second, for the
# general threshold and both readings of the red one (over 25 % fails; the
# mode aims at 20 % at most). Also the damping table's size and the time it
# takes to work out, and stills of both modes side by side. Too slow for the
# test run (the whole show is analysed once per run), so it runs here.
# Usage: bench/reduced_flashes.sh [build folder] [stills folder]
#   RUNS="30:960x540 60:1920x1080" picks the runs (fps:size); by default
#   30, 60 and 144 fps at 960x540 and 1920x1080.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
stills=${2:-}
runs=${RUNS:-"30:960x540 60:960x540 144:960x540 30:1920x1080 60:1920x1080 144:1920x1080"}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --build "$build" --target capture assets >/dev/null
cd "$build"

started=$(date +%s.%N)
./capture --damping-table "$scratch/table" >/dev/null 2>&1
awk -v s="$started" -v e="$(date +%s.%N)" -v bytes="$(stat -c %s "$scratch/table")" \
  'BEGIN { printf "damping table: %d bytes, worked out in %.0f s\n", bytes, e - s }'
cmp -s "$scratch/table" dada/vaimennus || echo "the table differs from the build's dada/vaimennus"

for run in $runs; do
  fps=${run%%:*} size=${run#*:}
  report=$(./capture --flashes --reduce-flashes --fps "$fps" --size "$size" 2>/dev/null)
  # The share that each kind's "largest:" line gives, in report order.
  shares=$(grep -o '[0-9.]* % of a 10° field flashing' <<<"$report" | cut -d' ' -f1 | paste -sd/)
  failing=$(grep -c 'threshold: exceeded' <<<"$report" || true)
  echo "$fps fps, $size: largest share general / red (2.2) / red (2.0/2.1): $shares %; $failing kinds failing"
done

[ -n "$stills" ] || exit 0
mkdir -p "$stills" "$scratch/normal" "$scratch/reduced"
./capture --at 25000,61000,97000 --out "$scratch/normal" --size 960x540 >/dev/null
./capture --at 25000,61000,97000 --out "$scratch/reduced" --size 960x540 --reduce-flashes >/dev/null
for ms in 025000 061000 097000; do
  ffmpeg -loglevel error -y -i "$scratch/normal/frame_$ms.png" -i "$scratch/reduced/frame_$ms.png" \
    -filter_complex hstack "$stills/normal_and_reduced_$ms.png"
  echo "$stills/normal_and_reduced_$ms.png"
done
