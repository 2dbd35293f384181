#!/usr/bin/env bash
# Packs the release archives from the builds of scripts/release.sh
# (build-release/ and build-windows/) into the given folder, with SHA256SUMS
# beside them. Packing the same builds again gives the same bytes, on any
# machine: names in sorted order, owners and permissions normalised, every
# time the last commit's (or SOURCE_DATE_EPOCH's, when set), no name or time
# in the gzip header.
# Usage: pack-release.sh FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(mkdir -p "$1" && cd "$1" && pwd)"
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}"
# zip records local times.
export TZ=UTC LC_ALL=C
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-release/CMakeCache.txt)"
linux="notes-left-behind-$version-linux-x86_64"
windows="notes-left-behind-$version-windows-x86_64"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT

cmake --install build-release --prefix "$stage/$linux" --strip >/dev/null
mkdir "$stage/$windows"
cp -r build-windows/demo.exe build-windows/info.txt windows/demo-reduced-flashing.cmd build-release/dada \
  "$stage/$windows/"
# Each archive's third-party notices, from what it bundles: the Linux one's
# files, demo.exe's link inputs as its link map names them (the archives
# that gave it members, and the objects it loaded), relative to its build.
(cd "$stage/$linux" && find lib dada -type f) |
  packaging/notices.sh linux "Notes Left Behind $version for Linux" >"$stage/$linux/THIRD-PARTY-NOTICES.txt"
{
  (cd "$stage/$windows" && find dada -type f)
  (cd build-windows && awk '/^Archive member included/ { members = 1; next }
    /^(Discarded input sections|Allocating common symbols|Memory Configuration)/ { members = 0 }
    members && /^[^ ]/ { sub(/\(.*$/, ""); print }
    /^LOAD .*\.o(bj)?$/ { print $2 }' demo.map | sort -u | xargs realpath -m)
} | packaging/notices.sh windows "Notes Left Behind $version for Windows" | sed 's/$/\r/' \
  >"$stage/$windows/THIRD-PARTY-NOTICES.txt"
chmod -R u=rwX,go=rX "$stage"
find "$stage" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +

(cd "$stage" && tar -c --sort=name --format=gnu --owner=0 --group=0 --numeric-owner "$linux" |
  gzip -9n >"$out/$linux.tar.gz")
rm -f "$out/$windows.zip"
(cd "$stage" && find "$windows" | sort | zip -qX -@ "$out/$windows.zip")
(cd "$out" && sha256sum "$linux.tar.gz" "$windows.zip" >SHA256SUMS)
