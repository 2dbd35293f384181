#!/usr/bin/env bash
# Builds SDL2, SDL2_image and SDL2_mixer for Emscripten from Debian's source
# packages, statically, into a cache folder, and prints that folder.
#
# Emscripten's own SDL ports download their sources at build time; this
# machine reaches only Debian's archive, so the sources come from there. The
# versions are those of Debian 12's libsdl2*-dev. The result is cached under a
# name derived from this script and the compiler, so a second run (or another
# checkout) costs nothing. Progress goes to standard error, the folder to
# standard output.
set -euo pipefail

jobs="${JOBS:-2}"

export NODE_PATH=/usr/share/nodejs
script_dir="$(cd "$(dirname "$0")" && pwd)"
# emcc's whole version text, not piped into head: it fails on a closed pipe.
emcc_version="$(emcc --version)"
key="$( (cat "$script_dir/build-sdl.sh" "$script_dir/../scripts/fetch-sdl-sources.sh"
  echo "${emcc_version%%$'\n'*}") | sha256sum | cut -c1-12)"
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/notes-left-behind"
prefix="$cache_root/emsdl-$key"

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# Installed straight into the cache folder, since CMake packages may record
# their install prefix; the marker file is written only after all three.
mkdir -p "$cache_root"
rm -rf "$prefix"
work="$(mktemp -d "$cache_root/work.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Configures, builds and installs one library into the cache folder.
build_one() {
  local source="$1"
  shift
  emcmake cmake -S "$source" -B "$source/build-em" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="/usr/bin/node;--no-experimental-fetch" \
    -DBUILD_SHARED_LIBS=OFF "$@" >&2
  cmake --build "$source/build-em" -j"$jobs" >&2
  cmake --install "$source/build-em" >&2
}

echo "Building SDL2 for Emscripten into $prefix (a few minutes, once)" >&2
"$script_dir/../scripts/fetch-sdl-sources.sh" "$work"
build_one "$work"/libsdl2-2.* -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF
# "Vendored" only so that its CMake package does not look for a libpng and a
# libjpeg: with the stb_image backend it needs neither, and bundles nothing else.
build_one "$work"/libsdl2-image-* -DSDL2_DIR="$prefix/lib/cmake/SDL2" \
  -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_DEPS_SHARED=OFF -DSDL2IMAGE_VENDORED=ON \
  -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_JPG=ON -DSDL2IMAGE_PNG=ON \
  -DSDL2IMAGE_JPG_SAVE=OFF -DSDL2IMAGE_PNG_SAVE=OFF \
  -DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_BMP=OFF -DSDL2IMAGE_GIF=OFF -DSDL2IMAGE_JXL=OFF \
  -DSDL2IMAGE_LBM=OFF -DSDL2IMAGE_PCX=OFF -DSDL2IMAGE_PNM=OFF -DSDL2IMAGE_QOI=OFF \
  -DSDL2IMAGE_SVG=OFF -DSDL2IMAGE_TGA=OFF -DSDL2IMAGE_TIF=OFF -DSDL2IMAGE_WEBP=OFF \
  -DSDL2IMAGE_XCF=OFF -DSDL2IMAGE_XPM=OFF -DSDL2IMAGE_XV=OFF
build_one "$work"/libsdl2-mixer-* -DSDL2_DIR="$prefix/lib/cmake/SDL2" \
  -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_DEPS_SHARED=OFF -DSDL2MIXER_VENDORED=OFF \
  -DSDL2MIXER_VORBIS=STB -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF \
  -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_WAVE=OFF

touch "$prefix/.complete"
echo "$prefix"
