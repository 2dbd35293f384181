#!/usr/bin/env bash
# Builds SDL2, SDL2_image and SDL2_mixer from Debian's source packages into a
# cache folder, and prints that folder.
# Usage: build-sdl.sh web|windows|linux
#   web      static libraries for the Emscripten build of web/build.sh
#   windows  static libraries for demo.exe, cross-compiled with mingw-w64
#   linux    shared libraries to ship beside the program in the Linux archive
#
# Each takes the one codec each format needs (stb_image for PNG and JPEG,
# stb_vorbis for Ogg; the web's also reads BMP), so the libraries depend on
# nothing but the system's C library; SDL itself loads X11, Wayland and the
# sound servers when it starts. Emscripten's own SDL ports would download
# their sources at build time, and this machine reaches only Debian's
# archive. The result is cached under a name derived from this recipe and
# the compiler, so a second run (or another checkout) costs nothing.
# Progress goes to standard error, the folder to standard output.
set -euo pipefail

script_dir="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$script_dir")"
jobs="${JOBS:-2}"
configure=(cmake)
bmp=OFF
recipe=("$script_dir/build-sdl.sh" "$script_dir/fetch-sdl-sources.sh")
case "${1:-}" in
  web)
    export NODE_PATH=/usr/share/nodejs
    # emcc's whole version text, not piped into head: it fails on a closed pipe.
    compiler_version="$(emcc --version)"
    compiler_version="${compiler_version%%$'\n'*}"
    configure=(emcmake cmake)
    options=(-DCMAKE_CROSSCOMPILING_EMULATOR="/usr/bin/node;--no-experimental-fetch"
      -DBUILD_SHARED_LIBS=OFF)
    sdl_options=(-DSDL_SHARED=OFF -DSDL_STATIC=ON)
    # The page hands the program its images decoded ahead, as BMP files.
    bmp=ON
    ;;
  windows)
    compiler_version="$(x86_64-w64-mingw32-gcc-posix --version | head -n1)"
    recipe+=("$root/windows/mingw.cmake")
    options=(-DCMAKE_TOOLCHAIN_FILE="$root/windows/mingw.cmake" -DBUILD_SHARED_LIBS=OFF)
    sdl_options=(-DSDL_SHARED=OFF -DSDL_STATIC=ON)
    ;;
  linux)
    compiler_version="$(gcc --version | head -n1)"
    # Each library finds the others beside itself.
    options=(-DBUILD_SHARED_LIBS=ON "-DCMAKE_INSTALL_RPATH=\$ORIGIN" -DCMAKE_INSTALL_LIBDIR=lib)
    sdl_options=(-DSDL_SHARED=ON -DSDL_STATIC=OFF)
    ;;
  *) echo "usage: $0 web|windows|linux" >&2; exit 2 ;;
esac

key="$( (cat "${recipe[@]}"; echo "$1 $compiler_version") | sha256sum | cut -c1-12)"
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/notes-left-behind"
prefix="$cache_root/$1-sdl-$key"

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# Installed straight into the cache folder, since CMake packages record
# their install prefix; the marker file is written only after all three.
mkdir -p "$cache_root"
rm -rf "$prefix"
work="$(mktemp -d "$cache_root/work.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Configures, builds and installs one library into the cache folder.
build_one() {
  local source="$1"
  shift
  "${configure[@]}" -S "$source" -B "$source/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    "${options[@]}" "$@" >&2
  cmake --build "$source/build" -j"$jobs" >&2
  cmake --install "$source/build" >&2
}

echo "Building SDL2 for $1 into $prefix (a few minutes, once)" >&2
"$script_dir/fetch-sdl-sources.sh" "$work"
build_one "$work"/libsdl2-2.* "${sdl_options[@]}" -DSDL_TEST=OFF
# "Vendored" only so that its CMake package does not look for a libpng and a
# libjpeg: with the stb_image backend it needs neither, and bundles nothing else.
build_one "$work"/libsdl2-image-* -DSDL2_DIR="$prefix/lib/cmake/SDL2" \
  -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_DEPS_SHARED=OFF -DSDL2IMAGE_VENDORED=ON \
  -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_BACKEND_WIC=OFF -DSDL2IMAGE_JPG=ON -DSDL2IMAGE_PNG=ON \
  -DSDL2IMAGE_JPG_SAVE=OFF -DSDL2IMAGE_PNG_SAVE=OFF \
  -DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_BMP=$bmp -DSDL2IMAGE_GIF=OFF -DSDL2IMAGE_JXL=OFF \
  -DSDL2IMAGE_LBM=OFF -DSDL2IMAGE_PCX=OFF -DSDL2IMAGE_PNM=OFF -DSDL2IMAGE_QOI=OFF \
  -DSDL2IMAGE_SVG=OFF -DSDL2IMAGE_TGA=OFF -DSDL2IMAGE_TIF=OFF -DSDL2IMAGE_WEBP=OFF \
  -DSDL2IMAGE_XCF=OFF -DSDL2IMAGE_XPM=OFF -DSDL2IMAGE_XV=OFF
build_one "$work"/libsdl2-mixer-* -DSDL2_DIR="$prefix/lib/cmake/SDL2" \
  -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_DEPS_SHARED=OFF -DSDL2MIXER_VENDORED=OFF \
  -DSDL2MIXER_VORBIS=STB -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF \
  -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_WAVE=OFF
# The web's music decoder (src/web/music_decoder.cpp) calls SDL_mixer's Ogg
# decoder itself; SDL_mixer installs no header for it.
install -D -m 644 "$work"/libsdl2-mixer-*/src/codecs/stb_vorbis/stb_vorbis.h \
  "$prefix/include/SDL2/stb_vorbis/stb_vorbis.h"

touch "$prefix/.complete"
echo "$prefix"
