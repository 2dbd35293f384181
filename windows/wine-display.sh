# A fresh Wine prefix on a virtual X display of its own, for the Wine test and
# benchmark. Sourced after setting $scratch, a folder that goes on exit.
# start_wine_display starts Xvfb, sets DISPLAY and boots the prefix (not on
# the program's time); it returns non-zero if the display does not start.
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$scratch/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" SDL_AUDIODRIVER=dummy

start_wine_display() {
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  trap '"$wineserver" -k 2>/dev/null; kill $xvfb_pid; rm -rf "$scratch"' EXIT
  for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  [ -s "$scratch/display" ] || return 1
  export DISPLAY=":$(cat "$scratch/display")"
  WINEDEBUG=-all "$wine" wineboot --init >/dev/null 2>&1
}
