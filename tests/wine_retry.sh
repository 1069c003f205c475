#!/usr/bin/env bash
# Runs a Windows program under wine (the words after this script's name) and
# runs it once more only when wine failed to start it, which it now and then
# does: a failure with no output at all. A program that ran and failed is
# never run again, so that no failure it shows once is hidden.
set -uo pipefail
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for try in 1 2; do
  "$@" >"$out" 2>"$err"
  status=$?
  [ "$status" != 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ] && [ $try = 1 ] || break
  echo "wine_retry: wine started nothing (status $status); once more" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"
