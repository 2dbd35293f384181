#!/usr/bin/env bash
# Builds the web version and plays it in headless Chromium (web/test/browser-test.mjs).
# Exits non-zero when anything fails; the last line reads "N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."

# A step that fails before the browser checks counts as one failed check.
fail_early() {
  echo "$1" >&2
  echo "0 passed, 1 failed"
  exit 1
}

command -v chromium >/dev/null || fail_early "chromium not found (apt-get install chromium)"
web/build.sh || fail_early "the web build failed"
(cd web/test && npm ci --no-audit --no-fund --loglevel=error) || fail_early "npm ci failed in web/test"
exec node web/test/browser-test.mjs build-web/site build-web/test-shots
