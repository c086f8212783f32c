#!/usr/bin/env bash
# Builds and runs every test: a release build, then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzz run.
# Installs what it needs with apt-get when it is missing (run as root).
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/deps.sh
ensure_packages "${build_packages[@]}" libgtest-dev clang-16 libclang-rt-16-dev

jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=ON -DQUORVANE_SANITIZE=OFF >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_TESTS=ON -DQUORVANE_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

bash fuzz/run.sh 20000
