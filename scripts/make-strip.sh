#!/usr/bin/env bash
# Regenerates the strip of frames the README shows: two moments of every
# scene, drawn by the capture tool at a sixth of the screen's size.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target capture assets
rm -f docs/strip/*.png
mkdir -p docs/strip
(cd build && ./capture --at 8500,15000,26500,41000,56000,85000,100500,110000,114300,117000 \
  --out ../docs/strip --shrink 6)
