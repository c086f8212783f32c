#!/usr/bin/env bash
# Builds and runs every test: a release build, then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzz run.
# Installs what it needs with apt-get when it is missing (run as root).
#
# Two further builds, after the sanitizer run, run the unit tests and the
# cases when switched on:
#   QUORVANE_CI_SCALAR=1  the vector versions of the scan kernels left out
#                         (build-scalar/), so the portable ones are tested
#   QUORVANE_CI_CROSS=1   an aarch64 cross build (build-aarch64/), its tests
#                         run under qemu-aarch64
set -euo pipefail
cd "$(dirname "$0")/.."

scalar=${QUORVANE_CI_SCALAR:-0}
cross=${QUORVANE_CI_CROSS:-0}

source scripts/deps.sh
ensure_packages "${build_packages[@]}" libgtest-dev clang-16 libclang-rt-16-dev
if [ "$cross" = 1 ]; then
  ensure_architecture arm64
  ensure_packages --no-install-recommends "${cross_arm64_packages[@]}"
fi

jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=ON -DQUORVANE_SANITIZE=OFF >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")
# The skipping by signs changes no output on the bench inputs either (made
# by bench/run.sh; the cases are checked by ctest's sign_skipping).
shopt -s nullglob
bench_inputs=(bench/data/*.txt)
shopt -u nullglob
if [ ${#bench_inputs[@]} -gt 0 ]; then build/sign_check "${bench_inputs[@]}"; fi

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_TESTS=ON -DQUORVANE_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

if [ "$scalar" = 1 ]; then
  cmake -S . -B build-scalar -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=ON -DQUORVANE_SCALAR=ON >/dev/null
  cmake --build build-scalar -j"$jobs"
  (cd build-scalar && ctest --output-on-failure -j"$jobs")
fi

if [ "$cross" = 1 ]; then
  cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=ON >/dev/null
  cmake --build build-aarch64 -j"$jobs"
  (cd build-aarch64 && ctest --output-on-failure -j"$jobs")
fi

bash fuzz/run.sh 20000
