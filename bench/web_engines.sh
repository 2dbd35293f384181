#!/usr/bin/env bash
# Plays the whole web show in every configuration of Chromium and in Firefox
# ESR and WebKitGTK, and prints per run the time from the click to the first
# frame, the program passes and displayed frames per second in each scene and
# how much of the music arrived intact. About 12 minutes, in real time.
# Usage: bench/web_engines.sh [--engines=chromium,firefox,webkit]
set -euo pipefail
cd "$(dirname "$0")/.."
source web/browser-env.sh
use_virtual_display "$0" "$@"
web/build.sh >/dev/null
install_test_packages
start_sound_server
node web/test/browser-test.mjs build-web/site build-web/bench-shots --whole "$@" |
  grep -E 'starts on the click|^frame rates|^music|passed,'
