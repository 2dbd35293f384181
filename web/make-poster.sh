#!/usr/bin/env bash
# Regenerates the page's poster still (web/poster.jpg, 960x540, the preview
# of a shared link; web/card-poster.jpg, the same dimmed behind the card's
# text, as light to download as it is dark), its icon
# (web/favicon.png, 32x32, one tile of the same frame) and demo.exe's icon
# (windows/demo.ico: the same tile at 16, 32, 48 and 256 pixels, from the
# frame drawn at 3840x2160): scene 2 at 26.5 s, drawn by the capture tool of
# the native build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target capture assets
still="$(mktemp -d)"
trap 'rm -rf "$still"' EXIT
mkdir "$still/large"
(cd build && ./capture --at 26500 --out "$still" --shrink 2 &&
  ./capture --at 26500 --out "$still/large" --size 3840x2160)
ffmpeg -loglevel error -y -i "$still/frame_026500.png" -q:v 5 web/poster.jpg
ffmpeg -loglevel error -y -i "$still/frame_026500.png" -vf "lutrgb=r=val*0.3:g=val*0.3:b=val*0.3" -q:v 5 \
  web/card-poster.jpg
ffmpeg -loglevel error -y -i "$still/frame_026500.png" -vf "crop=112:112:424:26,scale=32:32" web/favicon.png
ffmpeg -loglevel error -y -i "$still/large/frame_026500.png" -filter_complex \
  "crop=448:448:1696:104,split=4[a][b][c][d];[a]scale=16:16:flags=area[s16];[b]scale=32:32:flags=area[s32];[c]scale=48:48:flags=area[s48];[d]scale=256:256:flags=area[s256]" \
  -map '[s16]' -map '[s32]' -map '[s48]' -map '[s256]' -c png -pix_fmt rgba windows/demo.ico
