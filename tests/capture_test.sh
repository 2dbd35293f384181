#!/usr/bin/env bash
# The capture tool from the outside: its one-line errors, stills, a whole
# video with its music, the reduced-flashing mode, and Ctrl+C leaving no file behind.
# Usage: capture_test.sh CAPTURE BUILD_DIR (BUILD_DIR holds dada/)
set -uo pipefail
capture=$1 build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/checks.sh"

# One line on stderr and the given status.
fails_with() {
  local status=$1 pattern=$2
  shift 2
  local err="$scratch/err"
  (cd "$build" && "$capture" "$@") >/dev/null 2>"$err"
  local actual=$?
  [ "$actual" -eq "$status" ] && [ "$(wc -l <"$err")" -eq 1 ] && grep -q "$pattern" "$err" ||
    { echo "status $actual, stderr: $(cat "$err")"; return 1; }
}

check "no arguments" fails_with 2 "give either"
check "unknown option" fails_with 2 "unknown option --bogus" --bogus 1
check "unknown option last" fails_with 2 "unknown option --bogus" --at 5 --out "$scratch" --bogus
check "missing value" fails_with 2 "missing value after --out" --at 5 --out
check "time past the end" fails_with 2 "from 0 to 119986" --at 119987 --out "$scratch"
check "negative time" fails_with 2 "not a whole number" --at -5 --out "$scratch"
check "bad fps" fails_with 2 "fps" --video "$scratch/v.mp4" --fps 0
check "size not 16:9" fails_with 2 "16:9" --at 5 --out "$scratch" --size 1000x500
check "unknown container" fails_with 2 ".mp4 or .mkv" --video "$scratch/v.avi"
check "stretch without --flashes" fails_with 2 "go with --flashes" --at 5 --out "$scratch" --from 5
touch "$scratch/a-file"
check "folder under a file" fails_with 1 "cannot write to" --at 5 --out "$scratch/a-file/stills"
check "folder made" bash -c "cd '$build' && '$capture' --at 5 --out '$scratch/made/deeper' >/dev/null && test -s '$scratch/made/deeper/frame_000005.png'"
check "no dada message" bash -c "cd '$scratch' && '$capture' --at 5 --out . 2>&1 | grep -q 'no dada folder here'"
without_ffmpeg() {
  (cd "$build" && PATH=/nonexistent "$capture" --video "$scratch/v.mp4") >/dev/null 2>"$scratch/err"
  [ $? -eq 1 ] && grep -q "ffmpeg not found" "$scratch/err" && [ ! -e "$scratch/v.mp4" ] &&
    [ ! -e "$scratch/v.mp4.part" ]
}
check "ffmpeg missing" without_ffmpeg

mkdir -p "$scratch/stills"
check "stills" bash -c "cd '$build' && '$capture' --at 0,61000 --out '$scratch/stills' --shrink 4 >/dev/null"
size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$scratch/stills/frame_061000.png" 2>/dev/null)
check "still size ($size)" test "$size" = "480,270"
check "sized still" bash -c "cd '$build' && '$capture' --at 61000 --out '$scratch' --size 640x360 >/dev/null"
size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$scratch/frame_061000.png" 2>/dev/null)
check "sized still size ($size)" test "$size" = "640,360"

# The whole show at one frame per second of show time, with its music, in
# the container the name asks for.
check "video" bash -c "cd '$build' && '$capture' --video '$scratch/show.mkv' --fps 1 --crf 30 --preset ultrafast >/dev/null 2>&1"
check "video has no leftover" test ! -e "$scratch/show.mkv.part"
container=$(ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 "$scratch/show.mkv" 2>/dev/null)
check "video container ($container)" test "${container%%,*}" = matroska
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$scratch/show.mkv" 2>/dev/null)
check "video lasts the show ($duration s)" awk -v d="${duration:-0}" 'BEGIN { exit !(d >= 119 && d <= 126) }'
streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$scratch/show.mkv" 2>/dev/null | sort | tr '\n' ' ')
check "video and audio streams ($streams)" test "$streams" = "audio video "

# The reduced-flashing mode, at a low frame rate, in each stretch where the
# normal show fails: the tile wall, the start of the red flashes at 1:00 and
# the giant flowers; the reduced one passes all three thresholds there. Away
# from the flashing stretches its frames are the normal ones, and where it
# holds the flashing still it keeps the picture (the scene tests check the
# values it holds).
flash_report() { # from ms, to ms, capture options
  (cd "$build" && "$capture" --flashes --fps 30 --from "$1" --to "$2" "${@:3}" 2>/dev/null)
}
normal_fails() {
  flash_report "$@" | grep -q 'threshold: exceeded'
}
reduced_passes() {
  local report
  report=$(flash_report "$@" --reduce-flashes) || return 1
  [ "$(grep -c 'threshold: not exceeded' <<<"$report")" -eq 3 ] || { echo "$report"; return 1; }
}
for stretch in "24000 28000 the tile wall" "58000 64000 1:00" "104000 108000 the giant flowers"; do
  read -r from to name <<<"$stretch"
  check "normal show fails across $name" normal_fails "$from" "$to"
  check "reduced flashing passes across $name" reduced_passes "$from" "$to"
done
mkdir -p "$scratch/normal" "$scratch/reduced"
stills_of() {
  (cd "$build" && "$capture" --at 10000,45000,62320 --out "$1" --size 640x360 "${@:2}" >/dev/null)
}
both_stills() {
  stills_of "$scratch/normal" && stills_of "$scratch/reduced" --reduce-flashes
}
check "stills of both modes" both_stills
for ms in 010000 045000; do
  check "reduced flashing leaves $ms ms as drawn" cmp -s "$scratch/normal/frame_$ms.png" "$scratch/reduced/frame_$ms.png"
done
. "$(dirname "$0")/pictures.sh"
# At 62.32 s the show has dark flowers on a bright red, as the mode keeps them;
# 16 ms before the middle of a beat, the mode's flowers, which move on the
# kick, are within a degree of the show's.
kept_apart=$(cells_apart "$scratch/normal/frame_062320.png" "$scratch/reduced/frame_062320.png" 32 18 48)
check "reduced flashing keeps the flowers of 62320 ms (cells apart, largest difference: $kept_apart)" test "${kept_apart%% *}" -eq 0

# Ctrl+C: stops cleanly, writes nothing under either name.
(cd "$build" && exec "$capture" --video "$scratch/stopped.mp4" --fps 30 >/dev/null 2>&1) &
pid=$!
sleep 3
kill -INT "$pid"
wait "$pid"
status=$?
check "interrupt ends with failure ($status)" test "$status" -eq 1
check "interrupt leaves no video" test ! -e "$scratch/stopped.mp4"
check "interrupt leaves no partial file" test ! -e "$scratch/stopped.mp4.part"

report
