#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_TESTS=ON -DDEMO_ASSETS=ON
cmake --build build -j"$(nproc)"

# Both release archives. The Windows one plays under Wine in real time, in the
# background while the tests below run; its report comes at the end.
scripts/release.sh
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)"
windows/test.sh "build-release/notes-left-behind-$version-windows-x86_64.zip" build/capture \
  >build-release/windows-test.log 2>&1 &
windows_test=$!
tests/linux_archive_test.sh "build-release/notes-left-behind-$version-linux-x86_64.tar.gz" \
  build/tests/harness/libvclock.so

ctest --test-dir build --output-on-failure -j2
scripts/valgrind-check.sh build

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, built
# with clang, then the descriptor fuzzer for a bounded time.
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DDEMO_SANITIZE=ON -DDEMO_FUZZ=ON -DDEMO_TESTS=ON -DDEMO_ASSETS=ON
cmake --build build-sanitize -j"$(nproc)"
ctest --test-dir build-sanitize --output-on-failure -j2
mkdir -p build-sanitize/fuzz-corpus
build-sanitize/tests/font_fuzz -max_total_time=30 -print_final_stats=1 \
  "$PWD/build-sanitize/fuzz-corpus" "$PWD/tests/fuzz/seeds"

# The web version, built with Emscripten and played in headless Chromium,
# with the assets the native build generated.
DADA_DIR="$PWD/build/dada" web/test.sh

cat build-release/windows-test.log
wait $windows_test
