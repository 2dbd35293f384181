#!/usr/bin/env bash
# The reduced-flashing mode (demo --reduce-flashes) against the flash
# thresholds at every frame rate and size asked for: per run, the largest
# share of a 10° field that flashes more than three times a second, for the
# general threshold and both readings of the red one (over 25 % fails; the
# mode aims at 20 % at most). Too slow for the test run (the whole show is
# analysed once per run), so it runs here.
# Usage: bench/reduced_flashes.sh [build folder, default build-bench/]
#   [capture options, such as --from 58000 --to 116000 for a stretch only]
#   RUNS="30:960x540 60:1920x1080" picks the runs (fps:size); by default
#   30, 60 and 144 fps at 960x540 and 1920x1080.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/build-folder.sh
configure_bench_folder "${1:-}"
shift || true
runs=${RUNS:-"30:960x540 60:960x540 144:960x540 30:1920x1080 60:1920x1080 144:1920x1080"}
cmake --build "$build" --target capture assets >/dev/null
cd "$build"

for run in $runs; do
  fps=${run%%:*} size=${run#*:}
  report=$(./capture --flashes --reduce-flashes --fps "$fps" --size "$size" "$@" 2>/dev/null)
  # The share that each kind's "largest:" line gives, in report order.
  shares=$(grep -o '[0-9.]* % of a 10° field flashing' <<<"$report" | cut -d' ' -f1 | paste -sd/)
  failing=$(grep -c 'threshold: exceeded' <<<"$report" || true)
  echo "$fps fps, $size: largest share general / red (2.2) / red (2.0/2.1): $shares %; $failing kinds failing"
done
