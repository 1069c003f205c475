#!/usr/bin/env bash
# Counts the lines of code of src/ and tests/ and their ratio: lines that are
# neither blank nor comments, of C++, shell, Python and JavaScript, in files
# that git tracks. Test data (*.cases, fixtures, lockfiles) is not code, and a
# file whose first lines say it is generated is not counted.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  git ls-files -- "$1" | grep -E '\.(cpp|h|sh|py|js|mjs)$' | while read -r file; do
    head -n 3 "$file" | grep -qi 'generated' && continue
    case "$file" in
      *.sh | *.py) sed -E '/^[[:space:]]*(#|$)/d' "$file" ;;
      *) sed -E -e '/^[[:space:]]*\/\*/,/\*\//d' -e '/^[[:space:]]*(\/\/|$)/d' "$file" ;;
    esac
  done | wc -l
}

tests=$(count tests/)
src=$(count src/)
awk -v t="$tests" -v s="$src" 'BEGIN { printf "tests %d, src %d, ratio %.2f\n", t, s, t / s }'
