#!/usr/bin/env bash
# How the command ends when its output cannot be written.
# Usage: run_output_errors.sh EXE [RUNNER...]; a runner (such as an emulator
# for a cross build) is put in front of the executable.
set -u
exe=$1
runner=("${@:2}")
failed=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
check() {  # name, wanted status, wanted standard error, actual status, actual standard error
  if [ "$4" != "$2" ] || [ "$5" != "$3" ]; then
    echo "FAIL $1: status $4, standard error '$5'; expected $2, '$3'"
    failed=1
  fi
}
if [ -w /dev/full ]; then
  printf 'a\nb\n' | "${runner[@]}" "$exe" compress >/dev/full 2>"$tmp/err"
  check "full device" 1 "quorvane-shell: cannot write standard output: No space left on device" $? "$(cat "$tmp/err")"
fi
# The reader goes away before the output is written: a quiet status 1.
seq 1 2000000 > "$tmp/in"
{ "${runner[@]}" "$exe" compress <"$tmp/in" 2>"$tmp/err"; echo $? >"$tmp/status"; } | head -c 1 >/dev/null
check "closed pipe" 1 "" "$(cat "$tmp/status")" "$(cat "$tmp/err")"
[ $failed = 0 ] && echo "output errors: passed"
exit $failed
