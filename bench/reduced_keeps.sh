#!/usr/bin/env bash
# What the reduced-flashing mode keeps of the picture in the stretches it
# calms: stills of both modes from the capture tool at 960x540, at the moments
# bench/mode_keeps lists (every 0.25 s from 0:22 to 0:32 and every 0.5 s from
# 1:00 to 1:54), compared by detail
# (local contrast), colour (colourfulness) and layout (correlation of the
# luma of 16x16 blocks); per stretch the medians and the lowest layout.
# Usage: bench/reduced_keeps.sh [build folder, default build-bench/]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/build-folder.sh
. bench/both_modes.sh
configure_bench_folder "${1:-}"
measure_both_modes mode_keeps 960x540
