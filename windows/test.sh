#!/usr/bin/env bash
# Plays the Windows release under Wine on a virtual X display, in real time
# (about three and a half minutes): in an empty folder it prints the six
# messages of missing assets and ends on Escape; with its assets it prints
# nothing, and the screen at two slow-changing moments agrees coarsely with
# the capture tool's stills of the same moments; on screens of 1366x768 and
# 2560x1440 it covers the screen with the whole picture, scaled to fit.
# Usage: windows/test.sh ZIP CAPTURE (the native capture tool)
# The last line reads "N passed, M failed"; screenshots stay in $SHOTS_DIR if set.
set -uo pipefail
zip=$(realpath "$1") capture=$(realpath "$2")
scratch=$(mktemp -d)
. "$(dirname "$0")/../tests/checks.sh"
. "$(dirname "$0")/../tests/pictures.sh"
. "$(dirname "$0")/wine-display.sh"
export WINEDEBUG=-all

# A step that fails before the checks counts as one failed check.
fail_early() {
  echo "$1" >&2
  echo "0 passed, 1 failed"
  exit 1
}

start_wine_display || fail_early "Xvfb or wineboot did not start"
unzip -q "$zip" -d "$scratch/unpacked" || fail_early "cannot unpack $zip"
folder=$(echo "$scratch"/unpacked/*)

# Starts demo.exe in the given folder, standard output to a file, its status
# to another, and waits for its window.
start_demo() {
  local dir=$1 name=$2
  (cd "$dir" && "$wine" "$folder/demo.exe" >"$scratch/$name.out" 2>"$scratch/$name.err"
    echo $? >"$scratch/$name.status") &
  timeout 60 xdotool search --sync --name '^title$' >"$scratch/$name.window" 2>/dev/null
}

# Waits up to the given seconds for the program's status, then checks it is 0.
ends_with_zero_within() {
  local name=$1 seconds=$2
  for _ in $(seq $((seconds * 10))); do
    [ -s "$scratch/$name.status" ] && break
    sleep 0.1
  done
  [ "$(cat "$scratch/$name.status" 2>/dev/null)" = 0 ] ||
    { echo "status: $(cat "$scratch/$name.status" 2>/dev/null || echo none); stderr: $(tail -3 "$scratch/$name.err")"; return 1; }
}

# The messages of an empty folder, line by line, with Windows' line ends.
empty_folder_output() {
  local expected=(
    'Failed to load dada/suikelois !' ' SDL Error: .+'
    'Failed to load dada/sumuuh !' ' SDL Error: .+'
    'Failed to load dada/astiasto.lentokone !' ' SDL Error: .+'
    'Failed to load dada/aerosoli !' ' SDL Error: .+'
    'Mix_LoadMUS\("dada/delfiini.kalako"\): .+'
    "can't file fnt file."
  )
  local lines
  mapfile -t lines <"$scratch/empty.out"
  [ ${#lines[@]} -eq ${#expected[@]} ] || { echo "${#lines[@]} lines:"; cat "$scratch/empty.out"; return 1; }
  for i in "${!expected[@]}"; do
    [[ ${lines[i]} =~ ^${expected[i]}$'\r'$ ]] || { echo "line $((i + 1)): ${lines[i]}"; return 1; }
  done
}

mkdir "$scratch/empty"
if start_demo "$scratch/empty" empty; then
  # A moment for the show to start; the key would wait in the queue anyway.
  sleep 3
  timeout 10 xdotool windowfocus --sync "$(head -n1 "$scratch/empty.window")" key Escape
  check "Escape ends the show with status 0" ends_with_zero_within empty 8
  check "empty folder: the six messages" empty_folder_output
else
  check "empty folder: a window opens" false
fi
# Nothing of this run may linger into the next.
"$wineserver" -k 2>/dev/null
"$wineserver" -w

# At least 14 of the 16 cells of a 4 by 4 grid within 48 on every channel:
# the rest may hold the fast-moving text, and Wine's timing is approximate. A
# missing picture fails.
agrees_coarsely() {
  [ -f "$1" ] || { echo "no picture $1"; return 1; }
  local apart worst
  read -r apart worst < <(cells_apart "$1" "$2" 4 4 48)
  [ "$apart" != none ] && [ "$apart" -le 2 ] || { echo "$apart of 16 cells apart"; return 1; }
}

# The screen at two slow-changing moments, scene 2's tile wall and the
# credits, counted from the first frame: the screen is black until then. It is
# recorded twice a second, small, and the stills are drawn at the same size.
moments=(26500 116500)
mkdir "$scratch/stills"
(cd "$folder" && "$capture" --at "$(IFS=,; echo "${moments[*]}")" --out "$scratch/stills" --shrink 8 >/dev/null)
still_at() { printf '%s/stills/frame_%06d.png' "$scratch" "$1"; }

# Records the screen of the given size twice a second, at an eighth of its
# size, into recording-NAME/ until stop_recording.
start_recording() { # WxH, name
  local width=${1%x*} height=${1#*x}
  mkdir "$scratch/recording-$2"
  ffmpeg -v error -f x11grab -framerate 2 -video_size "$1" -i "$DISPLAY" \
    -vf "fps=2,scale=$((width / 8)):$((height / 8)):flags=area" -frame_pts 1 "$scratch/recording-$2/%d.png" &
  recorder=$!
}

stop_recording() {
  kill -INT $recorder
  wait $recorder
}

# The recorded frame at a moment of the show, counted from the first frame
# that is not black: the screen is black until the show starts.
recorded_at() { # name, ms
  local first
  first=$(ffmpeg -v error -start_number 0 -i "$scratch/recording-$1/%d.png" -vf scale=1:1:flags=area \
    -f rawvideo -pix_fmt gray - | od -An -v -tu1 -w1 | awk '$1 > 8 { print NR - 1; exit }')
  echo "$scratch/recording-$1/$((${first:-0} + $2 / 500)).png"
}

start_recording 1920x1080 assets
if start_demo "$folder" assets; then
  check "with assets: the show ends by itself with status 0" ends_with_zero_within assets 200
  check "with assets: nothing printed" test ! -s "$scratch/assets.out"
else
  check "with assets: a window opens" false
fi
stop_recording
for ms in "${moments[@]}"; do
  shot=$(recorded_at assets "$ms")
  check "screen at $ms ms agrees with the still" agrees_coarsely "$shot" "$(still_at "$ms")"
  [ -n "${SHOTS_DIR:-}" ] && mkdir -p "$SHOTS_DIR" && cp "$shot" "$SHOTS_DIR/shot_$ms.png" &&
    cp "$(still_at "$ms")" "$SHOTS_DIR/"
done

# Screens of other sizes: the window covers the screen and shows the whole
# picture scaled to fit, here at the tile wall; Escape ends the show there.
for size in 1366x768 2560x1440; do
  if ! start_wine_display "$size"; then
    check "$size: the display starts" false
    continue
  fi
  start_recording "$size" "$size"
  if start_demo "$folder" "$size"; then
    sleep 32
    timeout 10 xdotool windowfocus --sync "$(head -n1 "$scratch/$size.window")" key Escape
    check "$size: Escape ends the show with status 0" ends_with_zero_within "$size" 10
  else
    check "$size: a window opens" false
  fi
  stop_recording
  shot=$(recorded_at "$size" 26500)
  still_on_screen "$(still_at 26500)" "$((${size%x*} / 8))" "$((${size#*x} / 8))" "$scratch/expected-$size.png"
  check "$size: the screen at 26500 ms shows the whole picture, fitted" \
    agrees_coarsely "$shot" "$scratch/expected-$size.png"
  [ -n "${SHOTS_DIR:-}" ] && cp "$shot" "$SHOTS_DIR/shot_${size}_26500.png"
done

report
