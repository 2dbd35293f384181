#!/usr/bin/env bash
# Prints demo.exe's frame rate under Wine on a virtual X display, with SDL's
# default renderer (Direct3D 9, which Wine draws with OpenGL) and with its
# OpenGL renderer, from Wine's own frame counter over the opening scenes.
# Usage: bench/wine_fps.sh DEMO_FOLDER [SECONDS] (DEMO_FOLDER holds demo.exe and dada/)
set -euo pipefail
folder=$(realpath "$1") seconds=${2:-30}
scratch=$(mktemp -d)
. "$(dirname "$0")/../windows/wine-display.sh"
start_wine_display

# Wine's fps channel reports the rate of the last few seconds of OpenGL
# buffer swaps, which both renderers end in; the median of those reports, the
# first two (start-up) left out.
for renderer in default opengl; do
  settings=()
  [ "$renderer" = opengl ] && settings=(SDL_RENDER_DRIVER=opengl)
  (cd "$folder" && env "${settings[@]}" WINEDEBUG=-all,+fps timeout "$seconds" "$wine" ./demo.exe \
    >/dev/null 2>"$scratch/$renderer.log") || true
  grep 'fps:wglSwapBuffers' "$scratch/$renderer.log" | grep -o 'approx [0-9.]*' | tail -n +3 |
    grep -o '[0-9.]*' | sort -n |
    awk -v r="$renderer" '{ v[NR] = $1 } END { if (NR) printf "%-8s %6.1f fps (median of %d reports)\n", r, v[int((NR + 1) / 2)], NR; else print r ": no reports" }'
done
