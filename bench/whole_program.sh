#!/usr/bin/env bash
# Whole-program figures on this machine: asset generation and synthesizer
# speed, start-up to first frame, frame rate and peak memory of a full run of
# the shipped program under Xvfb (driven by the harness's virtual clock), then
# the in-process benchmarks. Usage: bench/whole_program.sh [build folder, default build-bench/]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/build-folder.sh
configure_bench_folder "${1:-}"
runs=5

cmake --build "$build" -j"$(nproc)" >/dev/null
shim=$build/tests/harness/libvclock.so
scratch=$(mktemp -d)
trap 'kill "${xvfb_pid:-0}" 2>/dev/null || true; rm -rf "$scratch"' EXIT

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
seconds() { /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -n 1; }

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)"
echo

echo "== Asset generation (median of $runs runs, s)"
for generator in fontgen imagegen musicgen; do
  case $generator in
    fontgen) args=(/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf "$scratch/page" "$scratch/descriptor") ;;
    imagegen) args=("$scratch") ;;
    musicgen) args=("$scratch/music") ;;
  esac
  binary=$(find "$build/tools/$generator" -maxdepth 1 -type f -name "$generator")
  for _ in $(seq $runs); do seconds "$binary" "${args[@]}"; done | median | sed "s/^/$generator: /"
done
"$build/tools/musicgen/musicgen" "$scratch/music" 2>&1 | tail -n 1
echo

export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
export SDL_AUDIODRIVER=dummy

echo "== Process start to first presented frame, then quit (median of $runs runs, ms)"
for _ in $(seq $runs); do
  (cd "$build" && LD_PRELOAD=$shim VCLOCK_EVENTS=quit@0 seconds ./demo)
done | median | awk '{printf "demo, start to exit after the first frame: %.0f ms\n", $1 * 1000}'
echo

echo "== Full run, virtual clock stepping 40 ms per pass"
log=$scratch/frames.log
report=$( (cd "$build" && LD_PRELOAD=$shim VCLOCK_STEP=40 VCLOCK_LOG=$log \
  /usr/bin/time -f "%e %M" ./demo 2>&1 >/dev/null | tail -n 1) )
frames=$(grep -c '^P' "$log")
read -r wall peak_kib <<<"$report"
awk -v f="$frames" -v w="$wall" -v m="$peak_kib" 'BEGIN {
  printf "%d frames in %.1f s: %.1f frames/s on average over the show\n", f, w, f / w
  printf "peak resident memory: %.1f MiB\n", m / 1024 }'
echo

echo "== Real renderer, headless (offscreen EGL), per scene"
(cd "$build" && unset DISPLAY && ./bench/render_bench)
echo

echo "== Own CPU time per frame, drawing stubbed"
(cd "$build" && ./bench/cpu_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
