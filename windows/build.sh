#!/usr/bin/env bash
# Builds the Windows version, build-windows/demo.exe: the program's own
# sources cross-compiled with mingw-w64 against a static SDL. Needs Debian's
# g++-mingw-w64-x86-64-posix. The assets are platform-independent files: the
# native build's dada/ serves both.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "x86_64-w64-mingw32-g++-posix not found (apt-get install g++-mingw-w64-x86-64-posix)" >&2
  exit 1
fi

sdl_prefix="$(scripts/build-sdl.sh windows)"
# The packages named outright: a folder found by an earlier configuration
# may belong to an older SDL build.
cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF -DDEMO_ASSETS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/windows/mingw.cmake" -DCMAKE_PREFIX_PATH="$sdl_prefix" \
  -DCMAKE_FIND_ROOT_PATH="$sdl_prefix" -DCMAKE_PROJECT_INCLUDE="$root/windows/windows.cmake" \
  -DSDL2_DIR="$sdl_prefix/lib/cmake/SDL2" -DSDL2_image_DIR="$sdl_prefix/lib/cmake/SDL2_image" \
  -DSDL2_mixer_DIR="$sdl_prefix/lib/cmake/SDL2_mixer" >/dev/null
cmake --build build-windows --target demo -j2
echo "Built $root/build-windows/demo.exe"
