#!/usr/bin/env bash
# Writes a release's third-party notices: for everything the release bundles,
# the component it belongs to (packaging/third-party.txt) and that
# component's licences, from the copyright file of its Debian package. Stops
# with status 1 when a bundled thing has no line there, so that nothing new
# ships without its notice.
# Usage: notices.sh linux|windows|web TITLE <BUNDLED >NOTICES
#   BUNDLED: one path a line, files of the release relative to its folder or
#   absolute inputs of its link.
set -euo pipefail
release=$1 title=$2
list="$(dirname "$0")/third-party.txt"

# The component and package of the first line of the list matching the path.
component_of() {
  local path=$1 scope pattern component package
  while read -r scope pattern component package; do
    [ -z "$scope" ] || [ "${scope:0:1}" = "#" ] && continue
    [ "$scope" = "*" ] || [ "$scope" = "$release" ] || continue
    # shellcheck disable=SC2053 # the pattern is a pattern
    if [[ $path == $pattern ]]; then
      echo "$component $package"
      return
    fi
  done <"$list"
}

# "component package file name" for each bundled thing of others.
bundled=()
unlisted=()
while read -r path; do
  [ -z "$path" ] && continue
  found=$(component_of "$path")
  if [ -z "$found" ]; then
    unlisted+=("$path")
  elif [ "${found#* }" != "-" ]; then
    name=$path
    [ "${path:0:1}" = / ] && name=${path##*/}
    bundled+=("$found $name")
  fi
done
if [ ${#unlisted[@]} -gt 0 ]; then
  echo "notices: no entry in $list for these bundled files of the $release release:" >&2
  printf '  %s\n' "${unlisted[@]}" >&2
  exit 1
fi
mapfile -t components < <(printf '%s\n' "${bundled[@]}" | cut -d' ' -f1,2 | sort -u)

echo "$title: third-party notices"
echo
echo "Besides its own code and assets, this release carries the following"
echo "software and font data of others, under the licences that follow:"
echo
for entry in "${components[@]}"; do
  package=${entry#* }
  version=$(dpkg-query -W -f='${Version}' "$package")
  files=$(printf '%s\n' "${bundled[@]}" | awk -v e="$entry" '$1 " " $2 == e { print $3 }' | sort -u |
    paste -sd' ' | sed 's/ /, /g')
  echo "- ${entry% *}, from Debian's $package $version: $files" | fold -s -w 78 | sed 's/ *$//; 2,$s/^/  /'
done
for entry in "${components[@]}"; do
  package=${entry#* }
  copyright=/usr/share/doc/$package/copyright
  [ -f "$copyright" ] || { echo "notices: $copyright not found (is $package installed?)" >&2; exit 1; }
  echo
  echo "==============================================================================="
  echo "${entry% *}: the copyright file of Debian's $package"
  echo "==============================================================================="
  echo
  cat "$copyright"
done
