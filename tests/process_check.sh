#!/usr/bin/env bash
# The tool as a Linux process: a closed pipe on standard error. Closed
# standard streams are a case of storage_check.sh (with no /dev/null either).
# Usage: process_check.sh TOOL
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "process_check: $*"; exit 1; }

# A reader of the warnings that goes away does not end the run: the script
# is whole and the status 0.
for i in $(seq 2000); do echo "Hello world $i"; done >many.txt
"$tool" --in-file=many.txt --out-file=all.cfg --line-len=5 2>/dev/null
set +o pipefail
"$tool" --in-file=many.txt --out-file=piped.cfg --line-len=5 2>&1 >/dev/null | head -c 1 >/dev/null
status=${PIPESTATUS[0]}
set -o pipefail
[ "$status" = 0 ] || fail "closed pipe on standard error: status $status"
cmp -s all.cfg piped.cfg || fail "closed pipe on standard error: the script differs"

[ "$(ls | tr '\n' ' ')" = "all.cfg many.txt piped.cfg " ] || fail "files left: $(ls | tr '\n' ' ')"
echo "process_check: a closed pipe handled"
