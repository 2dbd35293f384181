#!/usr/bin/env bash
# Builds the web version: the site to publish in build-web/site/ (index.html
# with its style page.css and its scripts, demo.js, demo.wasm, demo.data with
# the assets preloaded under dada/, the music itself beside them as
# delfiini.kalako, the music decoder's worker music-worker.js with
# music-decoder.js and .wasm, the image decoder's worker image-worker.js with
# image-decoder.js and .wasm, the poster, the icon and
# THIRD-PARTY-NOTICES.txt), the CMake tree beside it in build-web/wasm/.
# Needs Debian's emscripten.
#
# The page downloads the music on its own, so that the show can start while
# it arrives; the program's package holds a silent stand-in of the same
# length in its place, which the program opens as it opens the music.
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

cmake -S . -B build-web-native -DDEMO_TESTS=OFF >/dev/null
if [ -z "${DADA_DIR:-}" ]; then
  cmake --build build-web-native --target assets -j2
  DADA_DIR="$root/build-web-native/dada"
else
  cmake --build build-web-native --target musicgen -j2
fi
DADA_DIR="$(cd "$DADA_DIR" && pwd)"
music="$DADA_DIR/delfiini.kalako"

# The package's assets: the generated ones, their PNG images recompressed,
# the music's stand-in for the music; each file rewritten only when it
# changed, so that the link below runs again only then.
packed="$out/dada"
mkdir -p "$packed"
for file in "$DADA_DIR"/*; do
  if [ "$file" = "$music" ]; then
    build-web-native/tools/musicgen/musicgen --silent "$out/next-asset"
  else
    node web/recompress-png.mjs "$file" "$out/next-asset"
  fi
  cmp -s "$out/next-asset" "$packed/${file##*/}" || mv "$out/next-asset" "$packed/${file##*/}"
done
rm -f "$out/next-asset"

emcmake cmake -S . -B "$out/wasm" -DCMAKE_BUILD_TYPE=Release \
  -DDEMO_TESTS=OFF -DDEMO_ASSETS=OFF -DDEMO_DADA_DIR="$packed" \
  -DCMAKE_PREFIX_PATH="$sdl_prefix" -DCMAKE_FIND_ROOT_PATH="$sdl_prefix" \
  -DCMAKE_PROJECT_INCLUDE="$root/web/emscripten.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="/usr/bin/node;--no-experimental-fetch" >/dev/null

# The link packs the assets, which CMake does not know: relink when one is newer.
if [ -f "$out/wasm/demo.js" ] && [ -n "$(find "$packed" -newer "$out/wasm/demo.js")" ]; then
  rm "$out/wasm/demo.js"
fi
cmake --build "$out/wasm" --target demo music-decoder image-decoder -j2

# A fresh folder, so that it never holds anything left over from earlier builds.
rm -rf "$site"
mkdir -p "$site"
cp "$out/wasm/demo.js" "$out/wasm/demo.wasm" "$out/wasm/demo.data" \
  "$out/wasm/music-decoder.js" "$out/wasm/music-decoder.wasm" \
  "$out/wasm/image-decoder.js" "$out/wasm/image-decoder.wasm" \
  web/page.css web/music-worker.js web/image-worker.js web/webgl-worker.js \
  web/poster.jpg web/card-poster.jpg web/favicon.png "$site/"
# The page's script: its files joined, one request where each costs a round
# trip on a phone's network; each uses the names of those before it.
(cd web && cat settings.js music-sync.js card.js downloads.js music.js show.js start.js) >"$site/page.js"
cp "$music" "$site/delfiini.kalako"
# The page makes the music's buffer whole before the end of the file, which tells its length, arrives.
sed "s/data-music-frames=\"0\"/data-music-frames=\"$(node web/music-frames.mjs "$music")\"/" \
  web/index.html >"$site/index.html"
# The notices for what the site carries of others: the assets, and the files
# the link took code from (members of archives named by their archive).
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/wasm/CMakeCache.txt")"
{
  (cd "$DADA_DIR" && find . -type f | sed 's|^\./|dada/|')
  (cd "$out/wasm" && sed 's/(.*)$//' linked-files.txt music-decoder-linked-files.txt image-decoder-linked-files.txt | sort -u | xargs realpath -m)
} | packaging/notices.sh web "Notes Left Behind $version for the web" >"$site/THIRD-PARTY-NOTICES.txt"
echo "Built $site: $(cd "$site" && echo *)"
