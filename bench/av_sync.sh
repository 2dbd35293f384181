#!/usr/bin/env bash
# Sound against picture, as a viewer sees and hears them: plays the program
# under a small virtual display into a private sound server whose one device
# is a null sink, records screen and sound together with one ffmpeg (both
# stamped with the wall clock), and prints how far each click is heard from
# the moment the picture shows (bench/av_sync/av_sync.cpp reads it). The
# picture's red saw-tooth from 1:00 on is the clock; coded clicks at the
# background's drops stand in for the music, so that every beat is known
# even after a stall or a correction.
#
# Usage: bench/av_sync.sh BUILD [--busy] [--stall-at S] [--from S] [--to S]
#          [--wine EXE] [--limit MS] [--shift-sound MS]
#          [--shift-picture MS] [--list] [-- DEMO OPTIONS]
#   BUILD      a build folder with demo, av_sync and dada/
#   --busy     a busy loop on every core for the whole run
#   --stall-at stops the program for a second at S s of the show (kill -STOP, -CONT)
#   --from/--to the show's seconds recorded (default 56 to 114); beats from 60 s count
#   --wine     plays EXE (demo.exe) under Wine instead
#   --limit    fails unless every beat is within MS, except the 2 s after a stall
#   --shift-*  delays the recorded sound or picture stamps by MS (the rig's own check)
set -euo pipefail
cd "$(dirname "$0")/.."

# The picture is small, so that the program draws it many times a second
# and the grabs see each frame.
screen=480x270
if [ -z "${AV_SYNC_DISPLAY:-}" ]; then
  AV_SYNC_DISPLAY=1 exec xvfb-run -a -s "-screen 0 ${screen}x24" "$0" "$@"
fi
# Arithmetic on wall-clock seconds.
calc() {
  awk "BEGIN { printf \"%.6f\", $* }"
}

build="$(cd "$1" && pwd)"
shift
busy=0 stall_at="" from=56 to=114 wine_exe="" limit="" list=0
shift_sound=0 shift_picture=0
demo_options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --busy) busy=1 ;;
    --stall-at) stall_at="$2"; shift ;;
    --from) from="$2"; shift ;;
    --to) to="$2"; shift ;;
    --wine) wine_exe="$(realpath "$2")"; shift ;;
    --limit) limit="$2"; shift ;;
    --shift-sound) shift_sound="$2"; shift ;;
    --shift-picture) shift_picture="$2"; shift ;;
    --list) list=1 ;;
    --) shift; demo_options=("$@"); break ;;
    *) echo "usage: see the head of $0" >&2; exit 2 ;;
  esac
  shift
done

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill -CONT "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
  done
  [ -n "$wine_exe" ] && /usr/lib/wine/wineserver -k 2>/dev/null
  wait 2>/dev/null || true
  [ -n "${AV_SYNC_KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

# The program's folder: its dada/ with the coded clicks as its music.
show="$work/show"
mkdir -p "$show/dada"
cp -r "$build/dada/." "$show/dada/"
"$build/av_sync" --write-clicks "$show/dada/delfiini.kalako"
if [ -n "$wine_exe" ]; then
  cp "$wine_exe" "$show/demo.exe"
  export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
fi

# A private sound server: one null sink at the mixer's rate, logging underruns.
export PULSE_RUNTIME_PATH="$work/pulse" HOME="$work"
mkdir -p "$PULSE_RUNTIME_PATH"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-level=debug \
  --log-time=1 -L "module-null-sink sink_name=sync rate=44100" \
  -L "module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
  >"$work/pulse.log" 2>&1 &
pids+=($!)
sound_started="$(date +%s.%N)"
for _ in $(seq 50); do
  [ -S "$PULSE_RUNTIME_PATH/native" ] && break
  sleep 0.1
done
export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"

if [ $busy = 1 ]; then
  for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    pids+=($!)
  done
fi

launched="$(date +%s.%N)"
if [ -n "$wine_exe" ]; then
  (cd "$show" && exec /usr/lib/wine/wine64 demo.exe "${demo_options[@]}") >"$work/demo.log" 2>&1 &
else
  (cd "$show" && exec "$build/demo" "${demo_options[@]}") >"$work/demo.log" 2>&1 &
fi
demo_pid=$!
pids+=($demo_pid)

# Sleeps until S seconds after the launch.
sleep_until() {
  local left
  left="$(calc "$launched + $1 - $(date +%s.%N)")"
  if [ "$(calc "($left > 0)")" != 0.000000 ]; then
    sleep "$left"
  fi
}

# The recorder outranks the load, so that it drops nothing.
sleep_until "$from"
seconds=$((to - from))
nice -n -10 ffmpeg -nostdin -y -loglevel error -t "$seconds" -f x11grab -framerate 250 \
  -video_size "$screen" -i "$DISPLAY" -t "$seconds" -f pulse -sample_rate 44100 -channels 1 \
  -fragment_size 1764 -i sync.monitor -copyts -map 0:v -map 1:a \
  -vf "scale=16:9:flags=area,format=rgb24" \
  -c:v rawvideo -c:a pcm_s16le -f nut "$work/recording.nut" &
recorder=$!
pids+=($recorder)

excepted=()
if [ -n "$stall_at" ]; then
  sleep_until "$stall_at"
  # demo.exe runs in processes of Wine's own.
  targets=("$demo_pid")
  [ -n "$wine_exe" ] && mapfile -t targets < <(pgrep -f 'demo.exe')
  stopped="$(date +%s.%N)"
  kill -STOP "${targets[@]}"
  sleep 1
  kill -CONT "${targets[@]}"
  excepted+=(--except "$stopped,$(calc "$stopped + 3")")
fi
wait $recorder

# The picture's patches, a line a frame with its wall time; the sound's
# samples after the wall time of the first.
ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 \
  "$work/recording.nut" | awk -v shift="$shift_picture" '{ printf "%.6f\n", $1 + shift / 1000 }' \
  >"$work/stamps"
ffmpeg -nostdin -loglevel error -i "$work/recording.nut" -map 0:v -fps_mode passthrough \
  -pix_fmt rgb24 -f rawvideo - |
  od -An -v -tu1 -w432 >"$work/patches"
paste -d' ' "$work/stamps" "$work/patches" >"$work/frames"
{
  ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 \
    "$work/recording.nut" | awk -v shift="$shift_sound" 'NR == 1 { printf "%.6f\n", $1 + shift / 1000 }'
  ffmpeg -nostdin -loglevel error -i "$work/recording.nut" -map 0:a -f s16le -
} >"$work/sound"

# Only playback streams underrun: the program's.
underrun='Implicit underrun of'
underruns="$(grep -c "$underrun" "$work/pulse.log" || true)"
analysis=("$build/av_sync" --analyse "$work/frames" "$work/sound" --from 60000 --to "$((to * 1000))")
[ $list = 1 ] && analysis+=(--list)
[ -n "$limit" ] && analysis+=(--limit "$limit")
# Every beat within a second after an underrun is excepted too.
while read -r seconds; do
  at="$(calc "$sound_started + $seconds")"
  excepted+=(--except "$at,$(calc "$at + 1")")
done < <(grep "$underrun" "$work/pulse.log" | sed -n 's/^( *\([0-9.]*\)|.*/\1/p')
echo "underruns: $underruns"
"${analysis[@]}" "${excepted[@]}"
