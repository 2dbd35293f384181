# Sourced by web/test.sh and bench/web_engines.sh: the browser test's packages,
# and what Firefox and WebKitGTK need to play the show on a machine without a
# display or a sound card.

# Installs the packages web/test/package-lock.json pins, unless they are
# installed already: npm ci starts from nothing, some eight seconds each time.
install_test_packages() {
  (cd web/test && { cmp -s package-lock.json node_modules/.installed-lock.json ||
    { npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json node_modules/.installed-lock.json; }; })
}

# Runs the calling script again under a virtual display where there is none.
# Usage: use_virtual_display "$0" "$@"
use_virtual_display() {
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
  fi
}

# Starts a private sound server whose one device is a null sink, so that
# Firefox and WebKitGTK start their audio (Chromium plays into a stand-in of
# its own), and exports PULSE_SERVER; it stops when the calling script exits.
# Returns non-zero when it does not start within 5 s.
start_sound_server() {
  sound_dir="$(mktemp -d)"
  HOME="$sound_dir" PULSE_RUNTIME_PATH="$sound_dir" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no -L module-null-sink \
    -L "module-native-protocol-unix socket=$sound_dir/native auth-anonymous=1" \
    >"$sound_dir/log" 2>&1 &
  sound_pid=$!
  trap 'kill "$sound_pid"; wait "$sound_pid"; rm -rf "$sound_dir"' EXIT
  for _ in $(seq 50); do
    if [ -S "$sound_dir/native" ]; then
      export PULSE_SERVER="unix:$sound_dir/native"
      return 0
    fi
    sleep 0.1
  done
  cat "$sound_dir/log" >&2
  return 1
}
