# The benchmarks' build folder, sourced by the scripts in bench/: build-bench/
# of the checkout unless one is named, configured with the benchmarks and the
# test harness they drive the program with, apart from build/ so that neither
# scripts/play.sh nor scripts/test.sh undoes it.

# Installs what the benchmarks need, configures the folder (the first argument,
# or build-bench/) and sets build to its absolute path.
configure_bench_folder() {
  scripts/install-deps.sh bench
  build=$(realpath -m "${1:-build-bench}")
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDEMO_BENCH=ON -DDEMO_TESTS=ON \
    -DDEMO_ASSETS=ON >/dev/null
}
