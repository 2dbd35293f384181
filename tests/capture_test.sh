#!/usr/bin/env bash
# The capture tool from the outside: its one-line errors, stills, a whole
# video with its music, its reduced-flash cut, and Ctrl+C leaving no file behind.
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
check "unknown argument" fails_with 2 "unknown argument --bogus" --bogus 1
check "missing value" fails_with 2 "missing value after --out" --at 5 --out
check "time past the end" fails_with 2 "from 0 to 119986" --at 119987 --out "$scratch"
check "negative time" fails_with 2 "not a whole number" --at -5 --out "$scratch"
check "bad fps" fails_with 2 "fps" --video "$scratch/v.mp4" --fps 0
check "size not 16:9" fails_with 2 "16:9" --at 5 --out "$scratch" --size 1000x500
check "unknown container" fails_with 2 ".mp4 or .mkv" --video "$scratch/v.avi"
check "reduction without video" fails_with 2 "goes with --video" --flashes --reduce-flashes
check "unwritable folder" fails_with 1 "cannot write to" --at 5 --out "$scratch/missing"
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

# The reduced-flash cut: both renderings, every frame out of the reduction,
# and the analysis of the result.
reduced() {
  (cd "$build" && "$capture" --video "$scratch/reduced.mp4" --reduce-flashes --size 960x540 \
    --fps 2 --crf 30 --preset ultrafast 2>/dev/null) >"$scratch/reduced.txt" || return 1
  grep -q "the reduced cut:" "$scratch/reduced.txt" &&
    [ "$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 \
      -select_streams v "$scratch/reduced.mp4")" -eq 241 ]
}
check "reduced-flash video" reduced

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
