# The show against the calmer show (demo --reduce-flashes), sourced by the
# scripts in bench/ that measure one against the other, after
# bench/build-folder.sh has set build.

# Builds the capture tool, the assets and the measure bench/$1 in $build,
# captures in both modes the moments that the measure lists (--moments) at
# the size $2, and has the measure compare the show's stills with the
# calmer show's. Leaves the shell in $build.
measure_both_modes() {
  local measure="$1" size="$2"
  # Not local: the trap removes it once the script exits.
  stills=$(mktemp -d)
  trap 'rm -rf "$stills"' EXIT
  cmake --build "$build" --target capture assets "$measure" >/dev/null
  cd "$build"
  local moments
  moments=$("bench/$measure" --moments)
  mkdir -p "$stills/show" "$stills/calmer"
  ./capture --at "$moments" --out "$stills/show" --size "$size" >/dev/null
  ./capture --at "$moments" --out "$stills/calmer" --size "$size" --reduce-flashes >/dev/null
  "bench/$measure" "$stills/show" "$stills/calmer"
}
