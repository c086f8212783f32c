#!/usr/bin/env bash
# Runs every end-to-end case under a directory through the real executable.
# A case is a set of files sharing one name:
#   NAME.in      standard input (required)
#   NAME.out     expected standard output, byte for byte (required)
#   NAME.args    arguments, one per line (default: the single word "compress")
#   NAME.err     expected standard error (default: empty)
#   NAME.status  expected exit status (default: 0)
# Usage: run_cases.sh EXE ROOT [RUNNER...]; a runner (such as an emulator
# for a cross build) is put in front of the executable.
set -u
exe=$1
root=$2
runner=("${@:3}")
failed=0
count=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
while IFS= read -r -d '' input; do
  base=${input%.in}
  name=${base#"$root"/}
  count=$((count + 1))
  args=(compress)
  if [ -f "$base.args" ]; then
    mapfile -t args < "$base.args"
  fi
  "${runner[@]}" "$exe" "${args[@]}" < "$input" > "$tmp/out" 2> "$tmp/err"
  status=$?
  want_status=0
  [ -f "$base.status" ] && want_status=$(tr -d '[:space:]' < "$base.status")
  ok=1
  if [ "$status" != "$want_status" ]; then
    echo "FAIL $name: exit status $status, expected $want_status"; ok=0
  fi
  if ! cmp -s "$tmp/out" "$base.out"; then
    echo "FAIL $name: standard output differs"; diff "$base.out" "$tmp/out" | head -n 40; ok=0
  fi
  if [ -f "$base.err" ]; then
    cmp -s "$tmp/err" "$base.err" || { echo "FAIL $name: standard error differs"; diff "$base.err" "$tmp/err" | head -n 20; ok=0; }
  elif [ -s "$tmp/err" ]; then
    echo "FAIL $name: unexpected standard error:"; head -n 5 "$tmp/err"; ok=0
  fi
  [ $ok = 1 ] || failed=$((failed + 1))
done < <(find "$root" -name '*.in' -print0 | sort -z)
echo "$((count - failed)) passed, $failed failed"
[ "$count" -gt 0 ] && [ "$failed" = 0 ]
