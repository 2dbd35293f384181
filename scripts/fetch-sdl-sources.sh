#!/usr/bin/env bash
# Downloads SDL2, SDL2_image and SDL2_mixer from Debian's source packages and
# unpacks them, with Debian's patches, into the given folder.
# Usage: fetch-sdl-sources.sh FOLDER
#
# The versions are those of Debian 12's libsdl2*-dev, so every build of the
# program uses the same SDL. The unpacked folders are FOLDER/libsdl2-2.26.5+dfsg,
# FOLDER/libsdl2-image-2.6.3+dfsg and FOLDER/libsdl2-mixer-2.6.2+dfsg.
# Progress goes to standard error.
set -euo pipefail

sdl_version=2.26.5+dfsg-1
image_version=2.6.3+dfsg-1
mixer_version=2.6.2+dfsg-2
work="$(cd "$1" && pwd)"

# A private apt configuration with one deb-src line for the suite the machine
# already uses, so nothing under /etc changes and no root is needed.
apt="$work/apt"
mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial" "$work/src"
cat >"$apt/parts/debian-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
options=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt/parts"
  -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
  -o "Dir::State::status=/dev/null" -o "Debug::NoLocking=1" -o "APT::Sandbox::User=$(id -un)")
apt-get "${options[@]}" -qq update >&2
(cd "$work/src" && apt-get "${options[@]}" -qq source --download-only \
  "libsdl2=$sdl_version" "libsdl2-image=$image_version" "libsdl2-mixer=$mixer_version" >&2)
# Unpacks and applies Debian's patches; apt has checked the hashes already.
for dsc in "$work/src"/*.dsc; do
  (cd "$work" && dpkg-source --no-check -x "$dsc" >&2)
done
rm -rf "$apt" "$work/src"
