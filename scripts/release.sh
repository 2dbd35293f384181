#!/usr/bin/env bash
# Builds both release archives into build-release/:
#   notes-left-behind-<version>-linux-x86_64.tar.gz    the program with SDL under lib/
#   notes-left-behind-<version>-windows-x86_64.zip     demo.exe, cross-compiled
#   SHA256SUMS                                          their hashes
# Installs what it needs first. The assets are generated once, natively, and
# go into both. The program is a Release build, stripped. Arguments are passed
# to CMake's configure step (the test script adds -DDEMO_WERROR=ON). The same
# commit gives the same archives (scripts/pack-release.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
out="$root/build-release"

scripts/install-deps.sh release
linux_sdl="$(scripts/build-sdl.sh linux)"
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF -DDEMO_ASSETS=ON \
  -DDEMO_BUNDLE_SDL="$linux_sdl" "$@" >/dev/null
cmake --build "$out" -j2
windows/build.sh
scripts/pack-release.sh "$out"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/CMakeCache.txt")"
echo "Built $out/notes-left-behind-$version-linux-x86_64.tar.gz"
echo "Built $out/notes-left-behind-$version-windows-x86_64.zip"
echo "Built $out/SHA256SUMS"
