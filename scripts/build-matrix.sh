#!/usr/bin/env bash
# Builds the program, the capture tool and the assets in every standard build
# type with GCC and with Clang, each from a clean folder under build-matrix/,
# warnings as errors, and checks that all of them generate the same assets.
# Also the way Debian packages build: no build type, dpkg-buildflags' flags.
# Prints one line per configuration with its time; exits non-zero on any failure.
# Takes about 15 minutes on 2 cores.
set -euo pipefail
cd "$(dirname "$0")/.."
root=build-matrix
rm -rf "$root"
mkdir -p "$root"

packaging_cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
packaging_cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
packaging_ldflags="$(dpkg-buildflags --get LDFLAGS)"

failed=0
reference=""
for compiler in gcc clang; do
  case $compiler in
    gcc) cc=gcc cxx=g++ ;;
    clang) cc=clang cxx=clang++ ;;
  esac
  for type in Debug Release RelWithDebInfo MinSizeRel packaging; do
    dir="$root/$compiler-$type"
    started=$(date +%s)
    if [ "$type" = packaging ]; then
      flags=(env CFLAGS="$packaging_cflags" CXXFLAGS="$packaging_cxxflags"
        LDFLAGS="$packaging_ldflags")
      build_type=""
    else
      flags=(env)
      build_type=$type
    fi
    if "${flags[@]}" CC=$cc CXX=$cxx cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$build_type" \
      -DDEMO_WERROR=ON -DDEMO_TESTS=OFF -DDEMO_ASSETS=ON >"$dir.log" 2>&1 &&
      cmake --build "$dir" -j"$(nproc)" --target demo capture assets >>"$dir.log" 2>&1; then
      result=built
      if [ -z "$reference" ]; then
        reference="$dir/dada"
      elif ! diff -r "$reference" "$dir/dada" >>"$dir.log"; then
        result="built, ASSETS DIFFER from $reference"
        failed=1
      fi
    else
      result="FAILED (see $dir.log)"
      failed=1
    fi
    echo "$compiler $type: $result in $(($(date +%s) - started)) s"
  done
done
exit $failed
