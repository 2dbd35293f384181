#!/usr/bin/env bash
# Sound against picture, as a viewer sees and hears them: plays the program
# under a small virtual display into a private sound server (PulseAudio, or
# PipeWire with its PulseAudio service) whose one device is a null sink,
# records screen and sound together with one ffmpeg (both stamped with the
# wall clock), and prints how far each click is heard from the moment the
# picture shows (tools/av_sync/av_sync.cpp reads it). The picture's red
# saw-tooth from 1:00 on is the clock; coded clicks at the background's drops
# stand in for the music, so that every beat is known even after a stall or
# a correction. With --web the built site plays instead, in a browser window
# filling a larger screen (web/test/rig-show.mjs), the clicks as its music.
#
# Usage: tools/av_sync/av_sync.sh BUILD [--server pulseaudio|pipewire]
#          [--driver NAME] [--busy] [--stall-at S] [--from S] [--to S]
#          [--wine EXE] [--web chromium|firefox|webkit] [--site DIR] [--query Q]
#          [--limit MS] [--shift-sound MS] [--shift-picture MS]
#          [--list] [-- DEMO OPTIONS]
#   BUILD      a build folder with demo, av_sync and dada/
#   --server   the sound server to start (default pulseaudio)
#   --driver   SDL's audio driver for the program (SDL_AUDIODRIVER; default SDL's choice)
#   --busy     a busy loop on every core for the whole run
#   --stall-at stops the program for a second at S s of the show (kill -STOP, -CONT)
#   --from/--to the show's seconds recorded (default 56 to 114); beats from 60 s count
#   --wine     plays EXE (demo.exe) under Wine instead
#   --web      plays the built site in that browser instead (beats the
#              picture changes too rarely around to read are left out)
#   --site     the built site for --web (default build-web/site)
#   --query    the page address's query for --web, e.g. audio-delay=100
#   --limit    fails unless every beat is within MS, except the 2 s after a
#              stall and the second after an underrun
#   --shift-*  delays the recorded sound or picture stamps by MS (the rig's own check)
set -euo pipefail
cd "$(dirname "$0")/../.."

# The picture is small, so that the program draws it many times a second
# and the grabs see each frame; a browser's window needs a little more room.
screen=480x270
[[ " $* " == *" --web "* ]] && screen=640x360
if [ -z "${AV_SYNC_DISPLAY:-}" ]; then
  AV_SYNC_DISPLAY=1 exec xvfb-run -a -s "-screen 0 ${screen}x24" "$0" "$@"
fi
# Arithmetic on wall-clock seconds.
calc() {
  awk "BEGIN { printf \"%.6f\", $* }"
}

build="$(cd "$1" && pwd)"
shift
server=pulseaudio driver="" busy=0 stall_at="" from=56 to=114 wine_exe="" limit="" list=0
engine="" site="$PWD/build-web/site" query=""
shift_sound=0 shift_picture=0
demo_options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --server) server="$2"; shift ;;
    --driver) driver="$2"; shift ;;
    --busy) busy=1 ;;
    --stall-at) stall_at="$2"; shift ;;
    --from) from="$2"; shift ;;
    --to) to="$2"; shift ;;
    --wine) wine_exe="$(realpath "$2")"; shift ;;
    --web) engine="$2"; shift ;;
    --site) site="$(realpath "$2")"; shift ;;
    --query) query="$2"; shift ;;
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

# A private sound server whose one device is a null sink at the mixer's
# rate, logging underruns of playback streams: the program's.
export HOME="$work" XDG_RUNTIME_DIR="$work/run" PULSE_RUNTIME_PATH="$work/run/pulse"
mkdir -p "$PULSE_RUNTIME_PATH"
export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
start_pulseaudio() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-level=debug \
    --log-time=1 -L "module-null-sink sink_name=sync rate=44100" \
    -L "module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
    >"$work/server.log" 2>&1 &
  pids+=($!)
}
# PipeWire as a desktop runs it: the graph, WirePlumber to link streams to
# the sink (on a session bus of its own), and the PulseAudio service, which
# logs each underflow of a PulseAudio client's stream at level 3.
start_pipewire() {
  mkdir -p "$HOME/.config/pipewire/pipewire.conf.d"
  cat >"$HOME/.config/pipewire/pipewire.conf.d/sync.conf" <<'CONF'
context.properties = { default.clock.rate = 44100 default.clock.allowed-rates = [ 44100 ] }
context.objects = [
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = sync media.class = Audio/Sink
             audio.position = [ FL FR ] audio.rate = 44100 object.linger = true } }
]
CONF
  local bus
  bus="$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile)"
  export DBUS_SESSION_BUS_ADDRESS="${bus%%$'\n'*}"
  pids+=("${bus##*$'\n'}")
  pipewire >"$work/pipewire.log" 2>&1 &
  pids+=($!)
  sleep 0.5
  wireplumber >"$work/wireplumber.log" 2>&1 &
  pids+=($!)
  PIPEWIRE_DEBUG=3 pipewire-pulse >"$work/server.log" 2>&1 &
  pids+=($!)
}
case "$server" in
  pulseaudio) start_pulseaudio ;;
  pipewire) start_pipewire ;;
  *) echo "unknown server $server: pulseaudio or pipewire" >&2; exit 2 ;;
esac
sound_started="$(date +%s.%N)"
monotonic_started="$(cut -d' ' -f1 /proc/uptime)"
# Ready once the sink can be made the default: PipeWire's session manager
# takes a moment to come up after the sink does.
for _ in $(seq 100); do
  pactl set-default-sink sync 2>/dev/null && break
  sleep 0.1
done
pactl set-default-sink sync

# An idle null sink renders far ahead of the wall clock until a stream asks
# for a latency: a keeper with a short one holds it near now until the
# program's stream is up, then leaves the sink to the program.
parecord --latency-msec=10 -d sync.monitor >/dev/null &
keeper=$!
pids+=($keeper)
(
  until [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; do
    sleep 0.05
  done
  kill "$keeper"
  pactl list sink-inputs >"$work/stream"
) &
pids+=($!)

[ -n "$driver" ] && export SDL_AUDIODRIVER="$driver"
if [ $busy = 1 ]; then
  for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    pids+=($!)
  done
fi

launched="$(date +%s.%N)"
if [ -n "$engine" ]; then
  AV_SYNC_SCREEN="$screen" node web/test/rig-show.mjs "$engine" "$site" "$show/dada/delfiini.kalako" \
    "$work" "$query" >"$work/demo.log" 2>&1 &
elif [ -n "$wine_exe" ]; then
  (cd "$show" && exec /usr/lib/wine/wine64 demo.exe "${demo_options[@]}") >"$work/demo.log" 2>&1 &
else
  (cd "$show" && exec "$build/demo" "${demo_options[@]}") >"$work/demo.log" 2>&1 &
fi
demo_pid=$!
pids+=($demo_pid)
# The page's show starts on the click, once the page has loaded.
if [ -n "$engine" ]; then
  until [ -s "$work/started" ]; do
    if ! kill -0 "$demo_pid" 2>/dev/null; then
      cat "$work/demo.log" >&2
      exit 1
    fi
    sleep 0.2
  done
  launched="$(cat "$work/started")"
fi

# A process and all that it started.
descendants() {
  echo "$1"
  for child in $(pgrep -P "$1"); do
    descendants "$child"
  done
}

# Sleeps until S seconds after the launch.
sleep_until() {
  local left
  left="$(calc "$launched + $1 - $(date +%s.%N)")"
  if [ "$(calc "($left > 0)")" != 0.000000 ]; then
    sleep "$left"
  fi
}

# The recorders outrank the load, so that they drop nothing; each stamps
# what it takes with the wall clock. The sound's asks the monitor for
# quarter-second fragments, so that it never lowers the sink's latency below
# what the program's stream asks, and runs apart from the screen's, whose
# grabs a blocking read of such a fragment would hold up.
sleep_until "$from"
seconds=$((to - from))
nice -n -10 ffmpeg -nostdin -y -loglevel error -t "$seconds" -f x11grab -framerate 250 \
  -video_size "$screen" -i "$DISPLAY" -copyts -vf "scale=16:9:flags=area,format=rgb24" \
  -c:v rawvideo -f nut "$work/screen.nut" &
screen_recorder=$!
nice -n -10 ffmpeg -nostdin -y -loglevel error -t "$seconds" -f pulse -sample_rate 44100 \
  -channels 1 -fragment_size 22050 -i sync.monitor -copyts -c:a pcm_s16le -f nut \
  "$work/sound.nut" &
sound_recorder=$!
pids+=($screen_recorder $sound_recorder)

excepted=()
if [ -n "$stall_at" ]; then
  sleep_until "$stall_at"
  # demo.exe runs in processes of Wine's own; a browser in processes of the
  # rig's page driver.
  targets=("$demo_pid")
  [ -n "$wine_exe" ] && mapfile -t targets < <(pgrep -f 'demo.exe')
  [ -n "$engine" ] && mapfile -t targets < <(descendants "$demo_pid")
  stopped="$(date +%s.%N)"
  kill -STOP "${targets[@]}"
  sleep 1
  kill -CONT "${targets[@]}"
  excepted+=(--except "$stopped,$(calc "$stopped + 3")")
fi
wait $screen_recorder $sound_recorder

# The picture's patches, a line a frame with its wall time; the sound's
# samples after the wall time of the first.
ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 \
  "$work/screen.nut" | awk -v shift="$shift_picture" '{ printf "%.6f\n", $1 + shift / 1000 }' \
  >"$work/stamps"
ffmpeg -nostdin -loglevel error -i "$work/screen.nut" -map 0:v -fps_mode passthrough \
  -pix_fmt rgb24 -f rawvideo - |
  od -An -v -tu1 -w432 >"$work/patches"
paste -d' ' "$work/stamps" "$work/patches" >"$work/frames"
{
  ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 \
    "$work/sound.nut" | awk -v shift="$shift_sound" 'NR == 1 { printf "%.6f\n", $1 + shift / 1000 }'
  ffmpeg -nostdin -loglevel error -i "$work/sound.nut" -map 0:a -f s16le -
} >"$work/sound"

# The wall times of the underruns the server logged.
underrun_walls() {
  if [ "$server" = pulseaudio ]; then
    sed -n 's/^( *\([0-9.]*\)|.*Implicit underrun of.*/\1/p' "$work/server.log" |
      while read -r seconds; do calc "$sound_started + $seconds"; echo; done
  else
    sed -n 's/^\[I\]\[\([0-9.]*\)\].*UNDERFLOW.*/\1/p' "$work/server.log" |
      while read -r seconds; do calc "$sound_started + $seconds - $monotonic_started"; echo; done
  fi
}
mapfile -t underruns < <(underrun_walls)
analysis=("$build/av_sync" --analyse "$work/frames" "$work/sound" --from 60000 --to "$((to * 1000))")
[ $list = 1 ] && analysis+=(--list)
# A page tells when the show's clock started and what it reckoned.
[ -s "$work/clock" ] && analysis+=(--clock-start "$(cat "$work/clock")" --page-aim "$work/aim")
[ -n "$limit" ] && analysis+=(--limit "$limit")
# Every beat within a second after an underrun is excepted too.
for at in "${underruns[@]}"; do
  excepted+=(--except "$at,$(calc "$at + 1")")
done
# What made the program's stream: on PipeWire, one of SDL's PulseAudio
# driver says so through the PulseAudio service; one of SDL's own PipeWire
# driver does not.
if [ -n "$engine" ]; then
  stream_driver="the page in $engine${query:+ (?$query)}"
elif [ -n "$wine_exe" ]; then
  stream_driver="Wine's WASAPI"
elif [ "$server" = pulseaudio ]; then
  stream_driver=pulseaudio
elif grep -q 'client.api = "pipewire-pulse"' "$work/stream"; then
  stream_driver="pulseaudio, through pipewire-pulse"
else
  stream_driver=pipewire
fi
echo "server: $server; the program's stream: $stream_driver${driver:+ (SDL_AUDIODRIVER=$driver)}"
echo "underruns: ${#underruns[@]}"
"${analysis[@]}" "${excepted[@]}"
