#!/usr/bin/env bash
# Downloads SDL2, SDL2_image and SDL2_mixer from Debian's source packages and
# unpacks them, with Debian's patches, into the given folder.
# Usage: fetch-sdl-sources.sh FOLDER
#
# The versions are those of Debian 12's libsdl2*-dev, so every build of the
# program uses the same SDL. The unpacked folders are FOLDER/libsdl2-2.26.5+dfsg,
# FOLDER/libsdl2-image-2.6.3+dfsg and FOLDER/libsdl2-mixer-2.6.2+dfsg. They
# come from wherever the machine's apt gets its binary packages of the suite
# it runs: its mirror, proxy and keys, as its own sources name them.
# Progress goes to standard error.
set -euo pipefail

sdl_version=2.26.5+dfsg-1
image_version=2.6.3+dfsg-1
mixer_version=2.6.2+dfsg-2
work="$(cd "$1" && pwd)"
suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"

# The machine's deb entries of its suite, in both of apt's formats, as deb-src
# entries with the same addresses and options.
eval "$(apt-config shell source_list Dir::Etc::SourceList/f source_parts Dir::Etc::SourceParts/d)"
# Prints those of the given files that exist: mawk stops at a missing one.
existing() {
  for file in "$@"; do
    [ -f "$file" ] && echo "$file"
  done
}
one_line_sources() {
  awk -v suite="$suite" '
    sub(/^[ \t]*deb[ \t]+/, "") {
      options = ""
      if (match($0, /^\[[^]]*\][ \t]*/)) { options = substr($0, 1, RLENGTH); $0 = substr($0, RLENGTH + 1) }
      if ($2 == suite) print "deb-src " options $0
    }' $(existing "$source_list" "$source_parts"/*.list) /dev/null
}
deb822_sources() {
  awk -v suite="$suite" '
    BEGIN { RS = ""; FS = "\n" }
    {
      kept = ""; field = ""; types = ""; suites = ""; enabled = "yes"
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^#/) continue
        if ($i !~ /^[ \t]/) field = tolower(substr($i, 1, index($i, ":") - 1))
        value = $i ~ /^[ \t]/ ? $i : substr($i, index($i, ":") + 1)
        if (field == "types") types = types " " value
        else if (field == "suites") suites = suites " " value
        else if (field == "enabled") enabled = value
        else kept = kept "\n" $i
      }
      if (index(" " types " ", " deb ") && index(" " suites " ", " " suite " ") && enabled !~ /no/)
        printf "Types: deb-src\nSuites: %s%s\n\n", suite, kept
    }' $(existing "$source_parts"/*.sources) /dev/null
}

# A private apt configuration, so nothing under /etc changes and no root is
# needed; apt's own settings (proxies, keys) still apply.
apt="$work/apt"
mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial" "$work/src"
one_line_sources >"$apt/parts/machine.list"
deb822_sources >"$apt/parts/machine.sources"
if [ ! -s "$apt/parts/machine.list" ] && [ ! -s "$apt/parts/machine.sources" ]; then
  echo "no deb entry for $suite in the apt sources ($source_list, $source_parts)" >&2
  exit 1
fi
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
