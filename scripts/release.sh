#!/usr/bin/env bash
# Builds both release archives into build-release/:
#   notes-left-behind-<version>-linux-x86_64.tar.gz    the program with SDL under lib/
#   notes-left-behind-<version>-windows-x86_64.zip     demo.exe, cross-compiled
# Installs what it needs first. The assets are generated once, natively, and
# go into both. The program is a Release build, stripped. Arguments are passed
# to CMake's configure step (the test script adds -DDEMO_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
out="$root/build-release"

scripts/install-deps.sh release
linux_sdl="$(scripts/build-sdl.sh linux)"
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF -DDEMO_ASSETS=ON \
  -DDEMO_BUNDLE_SDL="$linux_sdl" "$@" >/dev/null
cmake --build "$out" -j2
(cd "$out" && cpack -G TGZ >/dev/null)
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/CMakeCache.txt")"
linux_archive="notes-left-behind-$version-linux-x86_64.tar.gz"

windows/build.sh
name="notes-left-behind-$version-windows-x86_64"
stage="$out/windows-stage"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/$name"
cp build-windows/demo.exe "$stage/$name/"
cp -r "$out/dada" "$stage/$name/"
cp build-windows/info.txt "$stage/$name/"
(cd "$stage" && zip -qr -X "$out/$name.zip" "$name")
rm -rf "$stage"

echo "Built $out/$linux_archive"
echo "Built $out/$name.zip"
