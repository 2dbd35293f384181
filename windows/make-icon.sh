#!/usr/bin/env bash
# Redraws demo.exe's icon, windows/demo.ico (16, 32, 48 and 256 pixels
# square), from the tile of the web page's icon: scene 2 at 26.5 s, drawn at
# 3840x2160 by the capture tool of the native build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target capture assets
still="$(mktemp -d)"
trap 'rm -rf "$still"' EXIT
(cd build && ./capture --at 26500 --out "$still" --size 3840x2160)
ffmpeg -loglevel error -y -i "$still/frame_026500.png" -filter_complex \
  "crop=448:448:1696:104,split=4[a][b][c][d];[a]scale=16:16:flags=area[s16];[b]scale=32:32:flags=area[s32];[c]scale=48:48:flags=area[s48];[d]scale=256:256:flags=area[s256]" \
  -map '[s16]' -map '[s32]' -map '[s48]' -map '[s256]' -c png -pix_fmt rgba windows/demo.ico
