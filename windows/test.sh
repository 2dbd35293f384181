#!/usr/bin/env bash
# Plays the Windows release under Wine on a virtual X display, in real time
# (about two and a half minutes): in an empty folder it prints the six
# messages of missing assets and ends on Escape; with its assets it prints
# nothing, and the screen at two slow-changing moments agrees coarsely with
# the capture tool's stills of the same moments.
# Usage: windows/test.sh ZIP CAPTURE (the native capture tool)
# The last line reads "N passed, M failed"; screenshots stay in $SHOTS_DIR if set.
set -uo pipefail
zip=$(realpath "$1") capture=$(realpath "$2")
scratch=$(mktemp -d)
. "$(dirname "$0")/../tests/checks.sh"
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

# The 4 by 4 grid of mean colours of a picture, one "r g b" line per cell.
mean_colours() {
  ffmpeg -v error -i "$1" -vf scale=4:4:flags=area -f rawvideo -pix_fmt rgb24 - | od -An -v -tu1 -w3
}

# At least 14 of the 16 cells within 48 on every channel: the rest may hold
# the fast-moving text, and Wine's timing is approximate. A missing picture
# fails.
agrees_coarsely() {
  [ -f "$1" ] || { echo "no picture $1"; return 1; }
  paste <(mean_colours "$1") <(mean_colours "$2") | awk '
    function abs(x) { return x < 0 ? -x : x }
    { d = abs($1 - $4); if (abs($2 - $5) > d) d = abs($2 - $5); if (abs($3 - $6) > d) d = abs($3 - $6)
      if (d <= 48) near++; cells++ }
    END { if (cells != 16 || near < 14) { print near + 0 "/" cells " cells agree"; exit 1 } }'
}

# The screen at two slow-changing moments, scene 2's tile wall and the
# credits, counted from the first frame: the screen is black until then. It is
# recorded twice a second, small, and the stills are drawn at the same size.
moments=(26500 116500)
mkdir "$scratch/stills" "$scratch/recording"
(cd "$folder" && "$capture" --at "$(IFS=,; echo "${moments[*]}")" --out "$scratch/stills" --shrink 8 >/dev/null)
ffmpeg -v error -f x11grab -framerate 2 -video_size 1920x1080 -i "$DISPLAY" \
  -vf fps=2,scale=240:135:flags=area -frame_pts 1 "$scratch/recording/%d.png" &
recorder=$!
if start_demo "$folder" assets; then
  check "with assets: the show ends by itself with status 0" ends_with_zero_within assets 200
  check "with assets: nothing printed" test ! -s "$scratch/assets.out"
else
  check "with assets: a window opens" false
fi
kill -INT $recorder
wait $recorder
# The mean brightness of each recorded frame, one byte each, in order.
first_frame=$(ffmpeg -v error -start_number 0 -i "$scratch/recording/%d.png" -vf scale=1:1:flags=area \
  -f rawvideo -pix_fmt gray - | od -An -v -tu1 -w1 | awk '$1 > 8 { print NR - 1; exit }')
echo "first frame ${first_frame:-never} half-seconds into the recording"
for ms in "${moments[@]}"; do
  shot="$scratch/recording/$((${first_frame:-0} + ms / 500)).png"
  check "screen at $ms ms agrees with the still" \
    agrees_coarsely "$shot" "$scratch/stills/frame_$(printf %06d "$ms").png"
  [ -n "${SHOTS_DIR:-}" ] && mkdir -p "$SHOTS_DIR" && cp "$shot" "$SHOTS_DIR/shot_$ms.png" &&
    cp "$scratch/stills/frame_$(printf %06d "$ms").png" "$SHOTS_DIR/"
done

report
