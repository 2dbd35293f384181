#!/usr/bin/env bash
# Generates every asset again into a scratch folder and compares it byte for
# byte with the build's dada/: generation must not depend on time or chance.
# Usage: assets_deterministic.sh FONTGEN IMAGEGEN MUSICGEN TTF DADA
set -euo pipefail
fontgen=$1 imagegen=$2 musicgen=$3 ttf=$4 dada=$5
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$fontgen" "$ttf" "$scratch/aerosoli" "$scratch/lokki"
"$imagegen" "$scratch"
"$musicgen" "$scratch/delfiini.kalako" 2>/dev/null

status=0
for name in aerosoli lokki suikelois sumuuh astiasto.lentokone delfiini.kalako; do
  if cmp -s "$scratch/$name" "$dada/$name"; then
    echo "identical: $name"
  else
    echo "DIFFERS: $name"
    status=1
  fi
done
exit $status
