#!/usr/bin/env bash
# The whole show on a coarse virtual clock under valgrind's memcheck: fails on any error or definite leak.
#
# Usage: scripts/valgrind-check.sh [build folder, default build/ of the checkout]
# The build folder must hold the program, its dada/ and the test harness's
# preload libraries (a normal, non-sanitizer build with the tests). Without a
# display the check runs under a virtual one (Xvfb). Takes about 40 seconds:
# start-up and nine frames, one or more in every scene.
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
checkout=$(dirname "$(dirname "$self")")
build=$(cd "${1:-$checkout/build}" && pwd)
suppressions=$checkout/tests/sanitizer/valgrind.supp

for needed in "$build/demo" "$build/tests/harness/libvclock.so" \
  "$build/tests/sanitizer/libkeep_loaded.so" "$build/dada"; do
  if [ ! -e "$needed" ]; then
    echo "valgrind-check: $needed is missing; build the program and its tests first" >&2
    exit 2
  fi
done
command -v valgrind > /dev/null || { echo "valgrind-check: valgrind is not installed" >&2; exit 2; }

# The program opens its 1920x1080 window on an X display; give it a virtual one if none is set.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$self" "$build"
fi

report=$(mktemp /tmp/valgrind-check.XXXXXX)
trap 'rm -f "$report"' EXIT

# The harness's shim drives the clock (12 s per pass) and keep_loaded keeps
# the libraries closed at shutdown mapped, so that what they still own is
# reachable instead of lost. The program runs in its build folder, beside dada/.
status=0
(cd "$build" && env SDL_AUDIODRIVER=dummy VCLOCK_STEP=12000 \
  LD_PRELOAD="$build/tests/harness/libvclock.so:$build/tests/sanitizer/libkeep_loaded.so" \
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --error-exitcode=99 --num-callers=40 \
    --suppressions="$suppressions" --log-file="$report" ./demo > /dev/null) || status=$?

# Only the program's own process: libdbus forks a child that valgrind follows too.
pid=$(sed -n '1s/^==\([0-9]*\)==.*/\1/p' "$report")
grep "^==$pid==" "$report" | sed -n '/definitely lost:/p;/ERROR SUMMARY/p'
if [ "$status" -ne 0 ]; then
  echo "valgrind-check: FAILED (status $status); the full report:" >&2
  grep "^==$pid==" "$report" >&2
  exit 1
fi
echo "valgrind-check: no memory errors and no definite leaks"
