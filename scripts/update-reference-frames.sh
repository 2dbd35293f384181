#!/usr/bin/env bash
# Regenerates the reference frames of the tests from the current build.
# Look at the new frames before committing them.
set -euo pipefail
cd "$(dirname "$0")/.."
times=$(sed -n 's/^  \([0-9,]*\))$/\1/p' tests/reference/CMakeLists.txt)
cmake --build build --target capture assets
rm -f tests/reference/frames/*.png
(cd build && ./capture --at "$times" --out ../tests/reference/frames --shrink 8)
