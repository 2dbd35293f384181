#!/usr/bin/env bash
# Each asset generator answers --help with its usage and status 0, and refuses
# an argument that looks like an option rather than writing a file of that name.
# Usage: generators_usage.sh FONTGEN IMAGEGEN MUSICGEN
set -uo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
for generator in "$@"; do
  name=$(basename "$generator")
  help=$("$generator" --help 2>/dev/null)
  status=$?
  [ $status -eq 0 ] || fail "$name --help exits $status"
  [[ "$help" == "usage: $name "* ]] || fail "$name --help prints '$help'"
  "$generator" -o 2>/dev/null
  status=$?
  [ $status -eq 2 ] || fail "$name -o exits $status"
  [ -z "$(ls -A)" ] || fail "$name left files: $(ls -A)"
  rm -rf -- ./* ./-* 2>/dev/null
done
[ $failures -eq 0 ] && echo "all generators answer --help and refuse options"
exit $((failures > 0))
