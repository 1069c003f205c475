#!/usr/bin/env bash
# Checks that the docs say what the programs do: the preview shown in the
# README is what they give for the example text today, and the way
# docs/usage.md gives to stop a chain binds its key to no script of the
# chain, which would start it again.
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
stop=$(sed -n '/^- \*\*To stop the chain\*\*/,/^- /p' "$source/docs/usage.md" | sed '$d')
grep -q '`unbind F5`' <<<"$stop"
if grep -E 'exec chat(-[0-9]+)?\.cfg' <<<"$stop"; then
  echo "docs/usage.md stops the chain by a bind that starts it again"
  exit 1
fi
