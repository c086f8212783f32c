#!/usr/bin/env bash
# Builds the libFuzzer target with clang 16 and runs it for a bounded number
# of inputs (first argument, default 20000; 0 for no bound, to be ended by a
# further option such as -max_total_time=600), seeded from every end-to-end
# case and every captured tool output of the unit tests, with a dictionary
# of the shapes' key words. Inputs may grow to 1 MB at once (no slow length
# ramp): long enough for shapes that need hundreds of lines, and for
# superlinear time to show as a timeout.
# Everything the run writes stays under fuzz/work/ (ignored by git).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
shift || true
# libFuzzer reads -runs=0 as "run nothing"; -1 is its "no bound".
[ "$runs" = 0 ] && runs=-1
CXX=clang++-16 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_FUZZ=ON -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_compress
work=fuzz/work
seeds=$work/seeds
rm -rf "$seeds" && mkdir -p "$seeds" "$work/corpus" "$work/artifacts"
i=0
while IFS= read -r -d '' f; do i=$((i + 1)); cp "$f" "$seeds/seed_$i"; done < <(find tests/cases -name '*.in' -print0; find tests -path tests/cases -prune -o -path '*/data/*' -type f -print0)
build-fuzz/fuzz_compress -runs="$runs" -max_len=1048576 -len_control=0 -timeout=20 -dict=fuzz/compress.dict \
  -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" "$seeds"
