#!/usr/bin/env bash
# Builds the web version and plays it in headless Chromium, Firefox ESR and
# WebKitGTK (web/test/browser-test.mjs), after the unit test of its analysis.
# Exits non-zero when anything fails; the last line reads "N passed, M failed".
# Options go to the browser test: web/test.sh --starts-only runs only the
# start loops, --idle runs them without the busy loops.
set -uo pipefail
cd "$(dirname "$0")/.."
source web/browser-env.sh

# A step that fails before the browser checks counts as one failed check.
fail_early() {
  echo "$1" >&2
  echo "0 passed, 1 failed"
  exit 1
}

for program in chromium:chromium firefox-esr:firefox-esr WebKitWebDriver:webkit2gtk-driver pulseaudio:pulseaudio; do
  command -v "${program%%:*}" >/dev/null || fail_early "${program%%:*} not found (apt-get install ${program#*:})"
done
use_virtual_display "$0" "$@"
# The packages download while the build compiles.
mkdir -p build-web
install_test_packages >build-web/packages.log 2>&1 &
packages=$!
web/build.sh || fail_early "the web build failed"
wait "$packages" || { cat build-web/packages.log >&2; fail_early "npm ci failed in web/test"; }
(cd web/test && node --test --test-reporter=dot analysis.test.mjs music-sync.test.mjs) ||
  fail_early "the music analysis, the screenshot reader or the music follower failed its unit test"
start_sound_server || fail_early "pulseaudio did not start"
# A browser that stops answering would otherwise hold the run until CI's own
# limit; the whole suite takes about 16 minutes on a 2-core machine loaded far
# beyond its cores.
timeout --kill-after=30 2700 node web/test/browser-test.mjs build-web/site build-web/test-shots "$@" ||
  { status=$?; [ "$status" -ne 124 ] || echo "the browser test did not finish in 45 minutes"; exit "$status"; }
