#!/usr/bin/env bash
# Checks that the preview shown in the README is what the programs give for
# the example text today.
# Usage: readme_preview_check.sh TALLSAY TALLSAY_PREVIEW SOURCE_DIR
set -euo pipefail
tool=$1 preview=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" --in-file="$source/examples/hello.txt" --out-file="$work/hello.cfg"
"$preview" "$work/hello.cfg" >"$work/shown.txt"
# The lines after the command in the README's console block, up to its end.
sed -n '/^\$ build\/release\/tallsay-preview build\/hello.cfg$/,/^```$/p' "$source/README.md" |
  sed '1d;$d' >"$work/readme.txt"
diff -u "$work/readme.txt" "$work/shown.txt"
