#!/usr/bin/env bash
# Installs what is missing, builds the demo and plays it. Options go to the
# program: scripts/play.sh --reduce-flashes plays it with reduced flashing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh play
# A build folder configured before (by scripts/test.sh, with the tests) keeps
# its configuration; only a new one leaves out the tests, whose packages the
# play set-up does not install.
if [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build
else
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_TESTS=OFF
fi
cmake --build build -j"$(nproc)"

cd build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: playing under a virtual display (Xvfb); nothing will be seen."
  exec xvfb-run -a -s "-screen 0 1920x1080x24" ./demo "$@"
fi
exec ./demo "$@"
