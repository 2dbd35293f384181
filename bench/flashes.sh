#!/usr/bin/env bash
# Where the show exceeds the general and red flash thresholds (the red one as
# WCAG 2.2 and as WCAG 2.0/2.1 read it), with the figures behind each range
# and how long the whole-show analysis took. Too slow for the test run
# (minutes), so it runs here. Usage:
# bench/flashes.sh [build folder, default build-bench/] [capture options, such as --size 1920x1080 or
# --reduce-flashes]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/build-folder.sh
configure_bench_folder "${1:-}"
shift || true
cmake --build "$build" --target capture assets >/dev/null
cd "$build"
./capture --flashes "$@" 2>/dev/null
