# A fresh Wine prefix on a virtual X display of its own, for the Wine test and
# benchmark. Sourced after setting $scratch, a folder that goes on exit.
# start_wine_display [WxH] starts Xvfb (1920x1080 unless given), sets DISPLAY
# and boots the prefix (not on the program's time); it returns non-zero if the
# display does not start. Called again, it replaces the display.
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$scratch/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" SDL_AUDIODRIVER=dummy

start_wine_display() {
  if [ -n "${xvfb_pid:-}" ]; then
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w
    kill "$xvfb_pid"
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -f "$scratch/display"
  exec 3>"$scratch/display"
  Xvfb -displayfd 3 -screen 0 "${1:-1920x1080}x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  trap '"$wineserver" -k 2>/dev/null; kill $xvfb_pid; rm -rf "$scratch"' EXIT
  for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  [ -s "$scratch/display" ] || return 1
  export DISPLAY=":$(cat "$scratch/display")"
  WINEDEBUG=-all "$wine" wineboot --init >/dev/null 2>&1
}
