#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_WERROR=ON -DDEMO_TESTS=ON -DDEMO_ASSETS=ON
cmake --build build -j"$(nproc)"

# Both release archives; the Linux one unpacked and played headless. Its
# build is Release, the build type users and packagers pick first: it must
# build without a warning and generate the very same assets.
scripts/release.sh -DDEMO_WERROR=ON
tests/release_archives_test.sh
diff -r build/dada build-release/dada
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)"
tests/linux_archive_test.sh "build-release/notes-left-behind-$version-linux-x86_64.tar.gz" \
  build/tests/harness/libvclock.so

ctest --test-dir build --output-on-failure -j2

# Sound and picture in step, as a viewer hears them, on PulseAudio and on
# PipeWire (SDL's choice of driver on each), also from two seconds after the
# program was stopped for one. The limit is one only a fault crosses: the
# follower's own 15 ms tolerance, its reading jitter and an output latency
# that moves with the load leave a beat up to about 40 ms off on a busy
# machine (+31.6 ms seen), while a follower that fails leaves it a second or
# a mixer buffer (46 ms) beyond that, and a rig that misreads its clock 128 ms.
for server in pulseaudio pipewire; do
  tools/av_sync/av_sync.sh build --server "$server" --from 58 --to 80 --stall-at 66 --limit 60
done

# The Windows archive plays under Wine in real time (two and a half minutes),
# in the background while valgrind and the sanitizer build run: nothing there
# has a time limit that the load could break.
windows/test.sh "build-release/notes-left-behind-$version-windows-x86_64.zip" build/capture \
  >build-release/windows-test.log 2>&1 &
windows_test=$!
scripts/valgrind-check.sh build

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer, built
# with clang, then the descriptor fuzzer for a bounded time.
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DDEMO_WERROR=ON \
  -DDEMO_SANITIZE=ON -DDEMO_FUZZ=ON -DDEMO_TESTS=ON -DDEMO_ASSETS=ON
cmake --build build-sanitize -j"$(nproc)"
windows_status=0
wait $windows_test || windows_status=$?
cat build-release/windows-test.log
[ "$windows_status" -eq 0 ]
ctest --test-dir build-sanitize --output-on-failure -j2
mkdir -p build-sanitize/fuzz-corpus
build-sanitize/tests/font_fuzz -max_total_time=30 -print_final_stats=1 \
  "$PWD/build-sanitize/fuzz-corpus" "$PWD/tests/fuzz/seeds"

# The web version, built with Emscripten and played in Chromium, Firefox ESR and WebKitGTK,
# with the assets the native build generated.
DADA_DIR="$PWD/build/dada" web/test.sh

# The web page's sound against its picture in Chromium and Firefox ESR, as a
# viewer sees and hears them, from two seconds after the browser was stopped
# for one, in the seconds where this machine draws them fast enough to read
# a beat. The limit is one only a fault crosses: a page that does not follow
# its music leaves it a second late after the stop, while this machine's
# virtual display, drawn in software, shows the picture up to 85 ms later
# than the browsers' frames tell, and Gecko's unreported output delay moves
# by some 10 ms from run to run.
for engine in chromium firefox; do
  tools/av_sync/av_sync.sh build --web "$engine" --from 55 --to 66 --stall-at 56 --limit 150
done
