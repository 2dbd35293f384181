#!/usr/bin/env bash
# How strongly the picture moves with the music's kick from 1:00 on, in the
# show and in the calmer show (demo --reduce-flashes): the capture tool's
# frames at 60 frames/s of 1:00 to 1:54, at 640x360, read by bench/beat_kept
# (kick contrast and beat share per stretch, one column per show).
# Usage: bench/beat_kept.sh [build folder, default build-bench/]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/build-folder.sh
. bench/both_modes.sh
configure_bench_folder "${1:-}"
measure_both_modes beat_kept 640x360
