#!/usr/bin/env bash
# Builds the release binary and runs it on an example: the status of a
# small scratch repository.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
ensure_packages "${build_packages[@]}" git
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build-run -j"$(nproc)" --target quorvane-shell
example=$(mktemp -d)
trap 'rm -rf "$example"' EXIT
git -C "$example" init -q
for i in $(seq 1 30); do mkdir -p "$example/src/module$((i % 4))"; echo "line $i" > "$example/src/module$((i % 4))/file$i.txt"; done
git -C "$example" status --untracked-files=all | ./build-run/quorvane-shell compress
