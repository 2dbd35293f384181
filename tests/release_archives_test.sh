#!/usr/bin/env bash
# The release archives of scripts/release.sh as a user gets them: both info
# files carry the README's photosensitivity warning, both carry third-party
# notices naming what they bundle, demo.exe carries its icon, version
# information and manifest, and packing the same builds again
# gives the same bytes, which SHA256SUMS confirms.
# Usage: release_archives_test.sh (right after scripts/release.sh, at the same commit)
set -uo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. tests/checks.sh

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-release/CMakeCache.txt)
linux=notes-left-behind-$version-linux-x86_64
windows=notes-left-behind-$version-windows-x86_64
tar -xzf "build-release/$linux.tar.gz" -C "$scratch"
unzip -q "build-release/$windows.zip" -d "$scratch"

# The README's warning, on one line.
warning=$(sed -n '/^\*\*Photosensitivity warning:\*\*/,/^$/p' README.md | tr -s ' \n' ' ' |
  sed 's/^[^ ]* [^ ]* //; s/ (Measured.*//')

# The warning in both info files, and Windows' line ends in its own.
info_files_warn() {
  local info
  for info in "$scratch/$linux/info.txt" "$scratch/$windows/info.txt"; do
    tr -d '\r' <"$info" | tr -s ' \n' ' ' | grep -qiF "$warning" || { echo "no warning in $info"; return 1; }
  done
  ! grep -qv $'\r$' "$scratch/$windows/info.txt" || { echo "a line without CR in the Windows info.txt"; return 1; }
}

# The icon at 32x32 and 256x256 (a 0 in the directory), the version of the
# project, and a manifest whose settings sit in the namespaces Windows reads.
exe_resources() {
  x86_64-w64-mingw32-windres -i "$scratch/$windows/demo.exe" -O rc >"$scratch/resources.rc" || return 1
  python3 - "$scratch/resources.rc" "$version" <<'PYTHON'
import re, sys
import xml.etree.ElementTree as ET
rc, version = open(sys.argv[1]).read(), sys.argv[2]
sizes = set(re.findall(r'"\\(\d{3})\\(\d{3})\\\d{3}\\\d{3}", 1, 32', rc))
assert ("040", "040") in sizes and ("000", "000") in sizes, f"icon sizes {sizes}"
major, minor = version.split(".")
assert re.search(rf"FILEVERSION {major}, {minor}, 0, 0\n", rc), "FILEVERSION"
for name, value in [("ProductName", "Notes Left Behind"), ("ProductVersion", version), ("FileVersion", version)]:
    assert f'VALUE "{name}", "{value}"' in rc, name
manifest = rc[rc.index("/* RT_MANIFEST */"):]
manifest = "".join(re.findall(r'^  "(.*)"$', manifest[:manifest.index("\nEND")], re.M))
manifest = manifest.replace('""', '"').replace("\\n", "\n")
root = ET.fromstring(manifest)
ns = {"asm1": "urn:schemas-microsoft-com:asm.v1", "asm3": "urn:schemas-microsoft-com:asm.v3",
      "compat": "urn:schemas-microsoft-com:compatibility.v1",
      "ws2005": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
      "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}
def node(path):
    found = root.find(path, ns)
    assert found is not None, path
    return found
assert node("compat:compatibility/compat:application/compat:supportedOS").get("Id") == \
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "Windows 10/11"
settings = "asm3:application/asm3:windowsSettings/"
assert node(settings + "ws2005:dpiAware").text == "true/pm", "dpiAware"
assert node(settings + "ws2016:dpiAwareness").text == "PerMonitorV2, PerMonitor", "dpiAwareness"
level = "asm3:trustInfo/asm3:security/asm3:requestedPrivileges/asm3:requestedExecutionLevel"
assert node(level).get("level") == "asInvoker", "execution level"
PYTHON
}

# A second packing of the same builds, with another umask, equals the first.
packs_the_same() {
  (umask 077 && scripts/pack-release.sh "$scratch/again") || return 1
  local file
  for file in "$linux.tar.gz" "$windows.zip" SHA256SUMS; do
    cmp "build-release/$file" "$scratch/again/$file" || return 1
  done
  (cd build-release && sha256sum --quiet -c SHA256SUMS)
}

# The launcher a Windows user double-clicks for reduced flashing: it starts
# demo.exe from its own folder with the option, in the line ends cmd.exe reads.
reduced_launcher() {
  local launcher="$scratch/$windows/demo-reduced-flashing.cmd"
  grep -q '^start "" demo.exe --reduce-flashes'$'\r''$' "$launcher" &&
    grep -q '^cd /d "%~dp0"'$'\r''$' "$launcher" && ! grep -qv $'\r$' "$launcher"
}

# Each archive's notices name each library it bundles and the font page, and
# hold a licence text for each; the Windows ones in its line ends.
names_in_notices() {
  local notices=$1 name
  shift
  [ -f "$notices" ] || { echo "no $notices"; return 1; }
  for name in "$@"; do
    grep -q "^[- ].*\b$name\b" "$notices" || { echo "$name not named in $notices"; return 1; }
  done
  grep -q 'the copyright file of Debian' "$notices" || { echo "no licence texts in $notices"; return 1; }
}
notices_name_what_is_bundled() {
  local libraries
  mapfile -t libraries < <(cd "$scratch/$linux" && ls lib)
  [ ${#libraries[@]} -ge 3 ] || { echo "lib/ holds ${libraries[*]}"; return 1; }
  names_in_notices "$scratch/$linux/THIRD-PARTY-NOTICES.txt" "${libraries[@]}" dada/aerosoli &&
    names_in_notices "$scratch/$windows/THIRD-PARTY-NOTICES.txt" libSDL2.a libSDL2_image.a \
      libSDL2_mixer.a 'libstdc++.a' libpthread.a dada/aerosoli &&
    ! grep -qv $'\r$' "$scratch/$windows/THIRD-PARTY-NOTICES.txt"
}

check "both info files carry the warning" info_files_warn
check "both archives carry notices for what they bundle" notices_name_what_is_bundled
check "Windows launcher for reduced flashing" reduced_launcher
check "demo.exe: icon, version and manifest" exe_resources
check "packing again gives the same bytes" packs_the_same

report
