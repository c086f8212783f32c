#!/usr/bin/env bash
# Times the release build on large generated inputs, beside
# `iconv -f UTF-8 -t UTF-8` on the same file in the same run.
#
#   bash bench/run.sh [FILTER]
#
# Every bench/inputs/NAME.py is run once as `python3 bench/inputs/NAME.py
# bench/data/NAME.txt` (skipped when the file is already there). Each timing
# is the best of three runs. FILTER keeps the inputs whose name contains it.
# The table is also saved under bench/results/.
set -euo pipefail
cd "$(dirname "$0")/.."
filter=${1:-}
runs=3

source scripts/deps.sh
ensure_packages "${build_packages[@]}" python3 time
for tool in cmake g++ python3 iconv; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target quorvane-shell >/dev/null
exe=$PWD/build-bench/quorvane-shell

mkdir -p bench/data bench/results
shopt -s nullglob
inputs=()
for script in bench/inputs/*.py; do
  name=$(basename "$script" .py)
  [[ -z $filter || $name == *"$filter"* ]] || continue
  data=bench/data/$name.txt
  if [ ! -s "$data" ]; then
    echo "generating $data" >&2
    if ! python3 "$script" "$data.part"; then
      echo "bench: $script failed, skipped" >&2
      rm -f "$data.part"
      continue
    fi
    mv "$data.part" "$data"
  fi
  inputs+=("$name")
done
[ ${#inputs[@]} -gt 0 ] || { echo "bench: no input matches '$filter'" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Best wall time of $runs runs of the command in "$@" with the file on
# standard input and standard output discarded; peak RSS (KiB) of the
# fastest run in $tmp/best_rss.
best_of() {
  local file=$1; shift
  local best="" rss="" start end t
  for _ in $(seq "$runs"); do
    start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$tmp/rss" "$@" < "$file" > /dev/null
    end=$EPOCHREALTIME
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then
      best=$t
      rss=$(tail -n 1 "$tmp/rss")
    fi
  done
  echo "$rss" > "$tmp/best_rss"
  echo "$best"
}

table=$tmp/table
{
  printf '| input | size MB | ours s | MB/s | iconv s | ours/iconv | output bytes | peak RSS MB |\n'
  printf '|---|---:|---:|---:|---:|---:|---:|---:|\n'
} > "$table"
cat "$table"
for name in "${inputs[@]}"; do
  data=bench/data/$name.txt
  cat "$data" > /dev/null  # warm the page cache for both tools alike
  bytes=$(stat -c %s "$data")
  out_bytes=$("$exe" compress < "$data" | wc -c)
  ours=$(best_of "$data" "$exe" compress)
  rss_kib=$(cat "$tmp/best_rss")
  theirs=$(best_of "$data" iconv -f UTF-8 -t UTF-8)
  row=$(awk -v n="$name" -v b="$bytes" -v o="$ours" -v i="$theirs" -v ob="$out_bytes" -v r="$rss_kib" 'BEGIN {
    mb = b / 1e6
    printf "| %s | %.1f | %.3f | %.0f | %.3f | %.2f | %d | %.0f |", n, mb, o, (o > 0 ? mb / o : 0), i,
           (i > 0 ? o / i : 0), ob, r / 1024 }')
  echo "$row" | tee -a "$table"
done
cp "$table" "bench/results/$(date +%Y-%m-%d_%H%M%S).md"
echo "machine: $(nproc) cores, $(date +%Y-%m-%d)"
