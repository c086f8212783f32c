#!/usr/bin/env bash
# Builds the libFuzzer target with clang 16 and runs it for a bounded number
# of inputs (first argument, default 20000; 0 for no bound, to be ended by a
# further option such as -max_total_time=600), seeded from the end-to-end
# cases and the captured tool outputs of the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
shift || true
# libFuzzer reads -runs=0 as "run nothing"; -1 is its "no bound".
[ "$runs" = 0 ] && runs=-1
CXX=clang++-16 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_FUZZ=ON -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_compress
seeds=build-fuzz/seeds
rm -rf "$seeds" && mkdir -p "$seeds" fuzz/corpus-work
i=0
while IFS= read -r -d '' f; do i=$((i + 1)); cp "$f" "$seeds/seed_$i"; done < <(find tests/cases -name '*.in' -size -64k -print0; find tests -path tests/cases -prune -o -path '*/data/*' -type f -size -64k -print0)
build-fuzz/fuzz_compress -runs="$runs" -max_len=65536 -timeout=20 "$@" fuzz/corpus-work "$seeds"
