#!/usr/bin/env bash
# The program on displays of other sizes and shapes: its window covers the
# screen and shows the whole picture, scaled uniformly to fit and centred,
# with black bars. Each size gets an X screen of its own; the clock stands
# still in scene 3 (a red clear, the hardest case for the bars), and a
# screenshot of the whole screen is compared with the capture tool's still,
# scaled to the fitted rectangle. At 1920x1080 the two are equal exactly.
# Usage: screen_fit_test.sh DEMO CAPTURE VCLOCK_LIBRARY DADA_DIR
set -uo pipefail
demo=$(realpath "$1") capture=$(realpath "$2") vclock=$(realpath "$3") dada=$(realpath "$4")
here=$(dirname "$0")
. "$here/checks.sh"
. "$here/pictures.sh"
scratch=$(mktemp -d)
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && kill $xvfb_pid 2>/dev/null; rm -rf "$scratch"' EXIT
moment_ms=61000
# Passes through each scene change with the fresh reading equal to the pass's
# own, as the capture tool's clock stands still within a pass.
readings="20001,20001,50001,50001,$moment_ms"

mkdir -p "$scratch/work" "$scratch/still"
cp -r "$dada" "$scratch/work/dada"
(cd "$scratch/work" && SDL_VIDEODRIVER=offscreen "$capture" --at "$moment_ms" --out "$scratch/still" >/dev/null)
still=$(printf '%s/still/frame_%06d.png' "$scratch" "$moment_ms")

start_display() { # size
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  [ -s "$scratch/display" ] && export DISPLAY=":$(cat "$scratch/display")"
}

stop_display() {
  kill $xvfb_pid 2>/dev/null
  wait $xvfb_pid 2>/dev/null
  xvfb_pid=
}

# Plays the program until its clock has stood still for a few frames, takes
# the whole screen into shot.png, then ends it with SIGTERM (a quit request).
screenshot_of_program() { # size
  rm -f "$scratch/log" "$scratch/shot.png" "$scratch/status"
  (cd "$scratch/work" && VCLOCK_TIMES="$readings" VCLOCK_STEP=0 VCLOCK_LOG="$scratch/log" \
    LD_PRELOAD="$vclock" SDL_AUDIODRIVER=dummy "$demo" >"$scratch/out" 2>&1
    echo $? >"$scratch/status") &
  local runner=$! presented=0
  for _ in $(seq 600); do
    presented=$(grep -c '^P' "$scratch/log" 2>/dev/null)
    [ "${presented:-0}" -ge 8 ] && break
    sleep 0.1
  done
  ffmpeg -v error -f x11grab -video_size "$1" -i "$DISPLAY" -frames:v 1 "$scratch/shot.png"
  pkill -TERM -P "$runner"
  for _ in $(seq 100); do [ -s "$scratch/status" ] && break; sleep 0.1; done
  [ "$(cat "$scratch/status" 2>/dev/null)" = 0 ] && [ ! -s "$scratch/out" ]
}

# The largest channel value inside a rectangle of shot.png; 0 when it is empty.
brightest_in() { # w h x y
  [ "$1" -gt 0 ] && [ "$2" -gt 0 ] || { echo 0; return; }
  ffmpeg -v error -i "$scratch/shot.png" -vf "crop=$1:$2:$3:$4" -f rawvideo -pix_fmt rgb24 - |
    od -An -v -tu1 -w1 | sort -n | tail -n1 | tr -d ' '
}

bars_are_black() { # W H w h x y
  local W=$1 H=$2 w=$3 h=$4 x=$5 y=$6 brightest=0 value
  for bar in "$W $y 0 0" "$W $((H - y - h)) 0 $((y + h))" "$x $h 0 $y" "$((W - x - w)) $h $((x + w)) $y"; do
    value=$(brightest_in $bar)
    [ "${value:-0}" -gt "$brightest" ] && brightest=$value
  done
  echo "  bars: brightest value $brightest"
  [ "$brightest" -eq 0 ]
}

# Every cell of a 32 by 18 grid (18 by 32 upright) within 16 of the scaled still.
agrees_with_still() { # W H w h x y
  local W=$1 H=$2 cols=32 rows=18
  [ "$W" -lt "$H" ] && cols=18 rows=32
  still_on_screen "$still" "$W" "$H" "$scratch/expected.png"
  read -r apart worst < <(cells_apart "$scratch/shot.png" "$scratch/expected.png" $cols $rows 16)
  echo "  picture at $3x$4+$5+$6: $apart of $((cols * rows)) cells apart, largest difference $worst"
  [ "$apart" = 0 ]
}

equals_still() {
  cmp -s <(ffmpeg -v error -i "$scratch/shot.png" -f rawvideo -pix_fmt rgb24 -) \
    <(ffmpeg -v error -i "$still" -f rawvideo -pix_fmt rgb24 -)
}

for size in ${SCREEN_SIZES:-1920x1080 1366x768 1280x800 2560x1440 3840x2160 1080x1920}; do
  echo "$size:"
  if ! start_display "$size"; then
    check "$size: the display starts" false
    continue
  fi
  check "$size: the show plays and ends on a quit request, printing nothing" screenshot_of_program "$size"
  read -r w h x y < <(fitted_rect "${size%x*}" "${size#*x}")
  if [ "$size" = 1920x1080 ]; then
    check "$size: the screen equals the still" equals_still
  else
    check "$size: the whole picture shows, scaled to fit" agrees_with_still "${size%x*}" "${size#*x}" "$w" "$h" "$x" "$y"
    check "$size: the bars are black" bars_are_black "${size%x*}" "${size#*x}" "$w" "$h" "$x" "$y"
  fi
  [ -n "${SHOTS_DIR:-}" ] && mkdir -p "$SHOTS_DIR" && cp "$scratch/shot.png" "$SHOTS_DIR/screen_$size.png"
  stop_display
done

report
