#!/usr/bin/env bash
# Regenerates the page's poster still (web/poster.jpg, 960x540) and its icon
# (web/favicon.png, 32x32, one tile of the same frame): scene 2 at 26.5 s,
# drawn by the capture tool of the native build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target capture assets
still="$(mktemp -d)"
trap 'rm -rf "$still"' EXIT
(cd build && ./capture --at 26500 --out "$still" --shrink 2)
ffmpeg -loglevel error -y -i "$still/frame_026500.png" -q:v 5 web/poster.jpg
ffmpeg -loglevel error -y -i "$still/frame_026500.png" -vf "crop=112:112:424:26,scale=32:32" web/favicon.png
