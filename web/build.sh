#!/usr/bin/env bash
# Builds the web version: the site to publish in build-web/site/ (index.html
# with its scripts music-sync.js and settings.js,
# demo.js, demo.wasm, demo.data with the assets preloaded under dada/, the
# music decoder's worker music-worker.js with music-decoder.js and .wasm, the
# image decoder's worker image-worker.js with image-decoder.js and .wasm, the
# poster, the icon and THIRD-PARTY-NOTICES.txt), the CMake tree beside it in
# build-web/wasm/. Needs Debian's emscripten.
#
# The asset generators are native programs, built in build-web-native/;
# DADA_DIR=<folder> uses assets generated elsewhere instead (e.g. build/dada).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
out="$root/build-web"
site="$out/site"
export NODE_PATH=/usr/share/nodejs
if ! command -v emcc >/dev/null; then
  echo "emcc not found (apt-get install emscripten)" >&2
  exit 1
fi

sdl_prefix="$(scripts/build-sdl.sh web)"

if [ -z "${DADA_DIR:-}" ]; then
  cmake -S . -B build-web-native -DDEMO_TESTS=OFF >/dev/null
  cmake --build build-web-native --target assets -j2
  DADA_DIR="$root/build-web-native/dada"
fi
DADA_DIR="$(cd "$DADA_DIR" && pwd)"

emcmake cmake -S . -B "$out/wasm" -DCMAKE_BUILD_TYPE=Release \
  -DDEMO_TESTS=OFF -DDEMO_ASSETS=OFF -DDEMO_DADA_DIR="$DADA_DIR" \
  -DCMAKE_PREFIX_PATH="$sdl_prefix" -DCMAKE_FIND_ROOT_PATH="$sdl_prefix" \
  -DCMAKE_PROJECT_INCLUDE="$root/web/emscripten.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="/usr/bin/node;--no-experimental-fetch" >/dev/null

# The link packs the assets, which CMake does not know: relink when one is newer.
if [ -f "$out/wasm/demo.js" ] && [ -n "$(find "$DADA_DIR" -newer "$out/wasm/demo.js")" ]; then
  rm "$out/wasm/demo.js"
fi
cmake --build "$out/wasm" --target demo music-decoder image-decoder -j2

# A fresh folder, so that it never holds anything left over from earlier builds.
rm -rf "$site"
mkdir -p "$site"
cp "$out/wasm/demo.js" "$out/wasm/demo.wasm" "$out/wasm/demo.data" \
  "$out/wasm/music-decoder.js" "$out/wasm/music-decoder.wasm" \
  "$out/wasm/image-decoder.js" "$out/wasm/image-decoder.wasm" \
  web/index.html web/music-sync.js web/settings.js web/music-worker.js web/image-worker.js \
  web/poster.jpg web/favicon.png "$site/"
# The notices for what the site carries of others: the assets, and the files
# the link took code from (members of archives named by their archive).
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/wasm/CMakeCache.txt")"
{
  (cd "$DADA_DIR" && find . -type f | sed 's|^\./|dada/|')
  (cd "$out/wasm" && sed 's/(.*)$//' linked-files.txt music-decoder-linked-files.txt image-decoder-linked-files.txt | sort -u | xargs realpath -m)
} | packaging/notices.sh web "Notes Left Behind $version for the web" >"$site/THIRD-PARTY-NOTICES.txt"
echo "Built $site: $(cd "$site" && echo *)"
