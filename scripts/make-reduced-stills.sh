#!/usr/bin/env bash
# Regenerates the pictures of the README's reduced-flashing section: the
# normal show (left) and the reduced-flashing mode (right) at four moments
# and on either side of a kick, drawn by the capture tool at a quarter of the
# screen's size.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target capture assets
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
moments=(025000 061000 097000 105000 070271 070272)
at=$(printf '%s\n' "${moments[@]}" | sed 's/^0*//' | paste -sd,)
mkdir -p "$scratch/normal" "$scratch/reduced"
(cd build && ./capture --at "$at" --out "$scratch/normal" --shrink 4 >/dev/null &&
  ./capture --at "$at" --out "$scratch/reduced" --shrink 4 --reduce-flashes >/dev/null)
rm -f docs/reduced/*.png
mkdir -p docs/reduced
for ms in "${moments[@]}"; do
  ffmpeg -loglevel error -y -i "$scratch/normal/frame_$ms.png" -i "$scratch/reduced/frame_$ms.png" \
    -filter_complex "[0][1]hstack" "docs/reduced/normal_and_reduced_$ms.png"
  echo "docs/reduced/normal_and_reduced_$ms.png"
done
