#!/usr/bin/env bash
# The conversion benchmark: builds in Release, generates a deterministic text
# (20 MB unless told otherwise) and prints, measured side by side:
#   1. conversion into a script file, wall time against dd writing as many
#      bytes, and against dd conv=fsync, which flushes them to the disk as the
#      replacement does;
#   2. script bytes per CPU second when converting to /dev/null, and the same
#      with --utf8 for a text of as many bytes with Cyrillic words among the
#      Latin ones;
#   3. peak resident memory for the large text and for a one-line text;
#   4. wall time of a one-line run against /bin/true;
#   5. the interactive run's cost a line: 3,000 lines piped into it, each of
#      which replaces the script; and the same into a script of two hard
#      links, which is copied over where it stands.
# Needs hyperfine, GNU time and Google Benchmark.
# Usage: bench/run.sh [MEGABYTES]
set -euo pipefail
cd "$(dirname "$0")/.."

megabytes=${1:-20}
cmake --workflow --preset bench >/dev/null
tool=build/bench/tallsay
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build/bench/bench/tallsay_make_text $((megabytes * 1000000)) >"$work/text.txt"
build/bench/bench/tallsay_make_text $((megabytes * 1000000)) mixed >"$work/mixed.txt"
printf 'Hi there!\n' >"$work/one.txt"
"$tool" --in-file="$work/text.txt" --out-file="$work/script.cfg"
text_bytes=$(stat -c %s "$work/text.txt")
script_bytes=$(stat -c %s "$work/script.cfg")
"$tool" --utf8 --in-file="$work/mixed.txt" --out-file="$work/mixed.cfg"
mixed_bytes=$(stat -c %s "$work/mixed.cfg")

# Times the commands with hyperfine (RUNS runs after a warm-up, no shell) and
# prints, for each, "<median wall> <mean user + system>" in seconds.
measure() {
  local runs=$1
  shift
  hyperfine -N --style none --warmup 3 --runs "$runs" --export-csv "$work/times.csv" "$@" >/dev/null 2>&1
  awk -F, 'NR > 1 { printf "%s %s ", $4, $5 + $6 } END { print "" }' "$work/times.csv"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

read -r file_wall _ dd_wall _ sync_wall _ < <(measure 5 \
  "$tool --in-file=$work/text.txt --out-file=$work/out.cfg" \
  "dd if=/dev/zero of=$work/dd.bin bs=1M count=$script_bytes iflag=count_bytes status=none" \
  "dd if=/dev/zero of=$work/dd.bin bs=1M count=$script_bytes iflag=count_bytes conv=fsync status=none")
for i in $(seq 3000); do echo "line $i of the chat"; done >"$work/lines.txt"
printf 'exec %q --out-file=%q <%q\n' "$tool" "$work/chat.cfg" "$work/lines.txt" >"$work/chat.sh"
printf 'rm -f %q %q; : >%q; ln %q %q; exec %q --out-file=%q <%q\n' "$work/l.cfg" "$work/l2.cfg" \
  "$work/l.cfg" "$work/l.cfg" "$work/l2.cfg" "$tool" "$work/l.cfg" "$work/lines.txt" >"$work/linked.sh"
read -r chat_wall _ linked_wall _ < <(measure 5 "bash $work/chat.sh" "bash $work/linked.sh")
read -r _ null_cpu _ mixed_cpu < <(measure 5 "$tool --in-file=$work/text.txt --out-file=/dev/null" \
  "$tool --utf8 --in-file=$work/mixed.txt --out-file=/dev/null")
read -r one_wall _ true_wall _ < <(measure 200 \
  "$tool --in-file=$work/one.txt --out-file=$work/one.cfg" /bin/true)
# Peak resident memory in KiB (GNU time's %M) and minor page faults (%R), the
# medians of five runs: the resident figure of a small process varies by a few
# dozen pages of the C library from run to run, the count of pages it touched
# does not.
peak_rss() {
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f "%M %R" "$tool" --in-file="$1" --out-file=/dev/null 2>&1 >/dev/null
  done | sort -n | sed -n 3p
}
read -r big_rss big_faults < <(peak_rss "$work/text.txt")
read -r one_rss one_faults < <(peak_rss "$work/one.txt")

echo "text: $text_bytes bytes; script: $script_bytes bytes"
printf '1. to a file: %.3f s, dd of the same size: %.3f s, ratio %sx;\n' \
  "$file_wall" "$dd_wall" "$(ratio "$file_wall" "$dd_wall")"
printf '   dd conv=fsync: %.3f s, ratio %sx\n' "$sync_wall" "$(ratio "$file_wall" "$sync_wall")"
printf '2. to /dev/null: %.3f s of CPU, %s GB of script per CPU second;\n' \
  "$null_cpu" "$(ratio "$script_bytes" "$(awk -v s="$null_cpu" 'BEGIN { print s * 1e9 }')")"
printf '   with --utf8, Cyrillic and Latin: %.3f s of CPU, %s GB of script per CPU second\n' \
  "$mixed_cpu" "$(ratio "$mixed_bytes" "$(awk -v s="$mixed_cpu" 'BEGIN { print s * 1e9 }')")"
printf '3. peak resident memory: %s KiB for the text, %s KiB for one line (difference %s KiB);\n' \
  "$big_rss" "$one_rss" "$((big_rss - one_rss))"
printf '   pages touched: %s against %s (difference %s KiB)\n' \
  "$big_faults" "$one_faults" "$(((big_faults - one_faults) * 4))"
printf '4. one-line run: %.0f us, /bin/true: %.0f us, ratio %sx\n' \
  "$(awk -v s="$one_wall" 'BEGIN { print s * 1e6 }')" \
  "$(awk -v s="$true_wall" 'BEGIN { print s * 1e6 }')" "$(ratio "$one_wall" "$true_wall")"
printf '5. interactive run of 3000 lines: %.3f s, %.0f us a line;\n' \
  "$chat_wall" "$(awk -v s="$chat_wall" 'BEGIN { print s * 1e6 / 3000 }')"
printf '   into a script of two links: %.3f s, %.0f us a line\n' \
  "$linked_wall" "$(awk -v s="$linked_wall" 'BEGIN { print s * 1e6 / 3000 }')"
