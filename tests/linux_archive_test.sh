#!/usr/bin/env bash
# The Linux release archive, unpacked into an empty folder: its program takes
# every SDL library from the archive's lib/ and plays the show to its end,
# headless, with the scripted clock making it fast.
# Usage: linux_archive_test.sh ARCHIVE VCLOCK (the harness's preloaded clock)
set -uo pipefail
archive=$(realpath "$1") vclock=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/checks.sh"

tar -xzf "$archive" -C "$scratch"
folder=$(echo "$scratch"/*/)
folder=${folder%/}

plays_to_the_end() {
  (cd "$folder" && timeout 60 xvfb-run -a -s "-screen 0 1920x1080x24" \
    env -u LD_LIBRARY_PATH VCLOCK_STEP=1000 SDL_AUDIODRIVER=dummy LD_PRELOAD="$vclock" \
    VCLOCK_LOG="$scratch/calls" LD_DEBUG=libs LD_DEBUG_OUTPUT="$scratch/libs" ./demo >"$scratch/out" 2>&1)
  local status=$?
  # The clock's last reading, past the end of the show.
  local last
  last=$(awk '$1 == "T" { t = $3 } END { print t + 0 }' "$scratch/calls" 2>/dev/null)
  [ "$status" -eq 0 ] && [ ! -s "$scratch/out" ] && [ "${last:-0}" -gt 119985 ] ||
    { echo "status $status, last clock reading ${last:-none}, output: $(head -c 500 "$scratch/out")"; return 1; }
}

# Every SDL library the program loads comes from the archive, none from the system.
sdl_from_lib() {
  local loaded
  loaded=$(cat "$scratch"/libs.* | grep -o 'calling init: [^ ]*libSDL2[^ ]*' | sed 's/calling init: //' | sort -u)
  local expected
  expected=$(printf '%s\n' "$folder"/lib/libSDL2-2.0.so.0 "$folder"/lib/libSDL2_image-2.0.so.0 \
    "$folder"/lib/libSDL2_mixer-2.0.so.0 | sort)
  [ "$loaded" = "$expected" ] || { echo "loaded: $loaded"; return 1; }
}

check "the archive plays headless to its end with status 0 and prints nothing" plays_to_the_end
check "SDL, SDL_image and SDL_mixer come from its lib/" sdl_from_lib

report
