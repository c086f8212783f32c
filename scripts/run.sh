#!/usr/bin/env bash
# Builds the release binary and runs it on an example: the status of a
# small scratch repository.
set -euo pipefail
cd "$(dirname "$0")/.."
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v git >/dev/null || need+=(git)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
[ -f /usr/include/simdjson.h ] || need+=(libsimdjson-dev)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build-run -j"$(nproc)" --target quorvane-shell
example=$(mktemp -d)
trap 'rm -rf "$example"' EXIT
git -C "$example" init -q
for i in $(seq 1 30); do mkdir -p "$example/src/module$((i % 4))"; echo "line $i" > "$example/src/module$((i % 4))/file$i.txt"; done
git -C "$example" status --untracked-files=all | ./build-run/quorvane-shell compress
