#!/usr/bin/env bash
# Times the release build on large generated inputs, beside
# `iconv -f UTF-8 -t UTF-8` on the same input in the same run, each fed
# from the file and through a pipe, and reports the peak RSS.
#
#   bash bench/run.sh [FILTER]
#   BENCH_EXE=/path/to/quorvane-shell bash bench/run.sh [FILTER]
#
# Every bench/inputs/NAME.py is run once as `python3 bench/inputs/NAME.py
# bench/data/NAME.txt` (skipped when the file is already there). Each timing
# is the best of three runs. FILTER keeps the inputs whose name contains it.
# The real captures in ../shared/bench-real/ are timed too, as real_NAME.
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

# BENCH_EXE times another build instead (an older one, for a before/after
# table); by default the release build of this tree.
if [ -n "${BENCH_EXE:-}" ]; then
  exe=$BENCH_EXE
else
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
  cmake --build build-bench -j"$(nproc)" --target quorvane-shell >/dev/null
  exe=$PWD/build-bench/quorvane-shell
fi

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
# The real captures (gzip) beside the checkout, each repeated to about
# 30 MB: shapes that the generators do not make. BENCH_REAL names another
# folder of them; none there, none timed.
real_dir=${BENCH_REAL:-../shared/bench-real}
real_target=30000000
for capture in "$real_dir"/*.txt.gz; do
  name=real_$(basename "$capture" .txt.gz)
  [[ -z $filter || $name == *"$filter"* ]] || continue
  data=bench/data/$name.txt
  if [ ! -s "$data" ]; then
    echo "repeating $capture into $data" >&2
    zcat "$capture" > "$data.one"
    one=$(stat -c %s "$data.one")
    [ "$one" -gt 0 ] || { rm -f "$data.one"; continue; }
    : > "$data.part"
    for _ in $(seq $(( (real_target + one - 1) / one ))); do cat "$data.one" >> "$data.part"; done
    rm -f "$data.one"
    mv "$data.part" "$data"
  fi
  inputs+=("$name")
done
[ ${#inputs[@]} -gt 0 ] || { echo "bench: no input matches '$filter'" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Best wall time of $runs runs of the command in "$@", fed the file either
# as standard input (mode "file") or through a pipe from cat (mode "pipe",
# which is how users feed it: `cat FILE | ...`), standard output
# discarded. The peak RSS (KiB) of the fastest run goes to $tmp/best_rss.
best_of() {
  local mode=$1 file=$2; shift 2
  local best="" rss="" start end t
  for _ in $(seq "$runs"); do
    start=$EPOCHREALTIME
    if [ "$mode" = pipe ]; then
      cat "$file" | /usr/bin/time -f %M -o "$tmp/rss" "$@" > /dev/null
    else
      /usr/bin/time -f %M -o "$tmp/rss" "$@" < "$file" > /dev/null
    fi
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
  printf '| input | size MB | file s | iconv file s | file/iconv | pipe s | iconv pipe s | pipe/iconv | MB/s pipe | output bytes | peak RSS MB | RSS/input |\n'
  printf '|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n'
} > "$table"
cat "$table"
for name in "${inputs[@]}"; do
  data=bench/data/$name.txt
  cat "$data" > /dev/null  # warm the page cache for both tools alike
  bytes=$(stat -L -c %s "$data")
  out_bytes=$("$exe" compress < "$data" | wc -c)
  ours_file=$(best_of file "$data" "$exe" compress)
  rss_kib=$(cat "$tmp/best_rss")
  iconv_file=$(best_of file "$data" iconv -f UTF-8 -t UTF-8)
  ours_pipe=$(best_of pipe "$data" "$exe" compress)
  iconv_pipe=$(best_of pipe "$data" iconv -f UTF-8 -t UTF-8)
  row=$(awk -v n="$name" -v b="$bytes" -v of="$ours_file" -v if_="$iconv_file" -v op="$ours_pipe" \
            -v ip="$iconv_pipe" -v ob="$out_bytes" -v r="$rss_kib" 'BEGIN {
    mb = b / 1e6
    printf "| %s | %.1f | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f | %.0f | %d | %.0f | %.1f |", n, mb, of, if_,
           (if_ > 0 ? of / if_ : 0), op, ip, (ip > 0 ? op / ip : 0), (op > 0 ? mb / op : 0), ob, r / 1024,
           (b > 0 ? r * 1024 / b : 0) }')
  echo "$row" | tee -a "$table"
done
cp "$table" "bench/results/$(date +%Y-%m-%d_%H%M%S).md"
echo "machine: $(nproc) cores, $(date +%Y-%m-%d)"
