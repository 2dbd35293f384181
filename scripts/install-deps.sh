#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Usage: install-deps.sh play|bench|release|test
set -euo pipefail

play_packages=(
  cmake g++ make pkg-config
  libsdl2-dev libsdl2-image-dev libsdl2-mixer-dev
  libfreetype-dev fonts-dejavu-core libvorbis-dev libebur128-dev
  xvfb xauth libgl1-mesa-dri libegl-mesa0
)
test_packages=(
  clang clang-format libclang-rt-14-dev ffmpeg git valgrind
  emscripten chromium firefox-esr webkit2gtk-driver pulseaudio pulseaudio-utils dpkg-dev
  pipewire pipewire-pulse wireplumber dbus-daemon
  wine64 xdotool unzip python3
)
# The benchmarks of bench/, which drive the program with the test harness.
bench_packages=(libgtest-dev libbenchmark-dev time)
# The Windows cross build and the archives of scripts/release.sh.
release_packages=(g++-mingw-w64-x86-64-posix zip dpkg-dev)

case "${1:-}" in
  play) wanted=("${play_packages[@]}") ;;
  bench) wanted=("${play_packages[@]}" "${bench_packages[@]}") ;;
  release) wanted=("${play_packages[@]}" "${release_packages[@]}") ;;
  test) wanted=("${play_packages[@]}" "${bench_packages[@]}" "${test_packages[@]}" "${release_packages[@]}") ;;
  *) echo "usage: $0 play|bench|release|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
# The browser test drives Chromium with an npm package. Where Node.js came
# with its own npm (NodeSource), Debian's npm would conflict: ask only if absent.
if [ "$1" = test ] && ! command -v npm >/dev/null; then
  missing+=(nodejs npm)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
