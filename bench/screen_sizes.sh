#!/usr/bin/env bash
# Frame rate of the shipped program on screens of several sizes under Xvfb,
# where the renderer draws the picture scaled to each screen: a run through
# the whole show with the virtual clock stepping 200 ms per pass (600 frames
# from every scene). Usage: bench/screen_sizes.sh [build folder, default
# build-bench/] [WxH ...]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/build-folder.sh
configure_bench_folder "${1:-}"
shift || true
cmake --build "$build" --target demo assets vclock >/dev/null
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1920x1080 2560x1440 3840x2160)
shim=$build/tests/harness/libvclock.so
scratch=$(mktemp -d)
trap 'kill "${xvfb_pid:-0}" 2>/dev/null || true; rm -rf "$scratch"' EXIT
export SDL_AUDIODRIVER=dummy

for size in "${sizes[@]}"; do
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  until [ -s "$scratch/display" ]; do sleep 0.1; done
  export DISPLAY=":$(cat "$scratch/display")"
  times=$( (cd "$build" && LD_PRELOAD=$shim VCLOCK_STEP=200 VCLOCK_LOG="$scratch/log" \
    /usr/bin/time -f "%e %U %S" ./demo 2>&1 >/dev/null | tail -n 1) )
  frames=$(grep -c '^P' "$scratch/log")
  # CPU time too: llvmpipe draws on every core, and a busy machine slows the
  # wall clock but hardly the work done per frame.
  read -r wall user system <<<"$times"
  awk -v s="$size" -v f="$frames" -v w="$wall" -v cpu="$(echo "$user $system" | awk '{print $1 + $2}')" 'BEGIN {
    printf "%s: %d frames in %.1f s, %.1f frames/s, %.1f ms of CPU per frame\n", s, f, w, f / w, 1000 * cpu / f }'
  kill $xvfb_pid
  wait $xvfb_pid 2>/dev/null || true
  rm -f "$scratch/display" "$scratch/log"
done
