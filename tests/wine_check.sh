#!/usr/bin/env bash
# What the Windows suite cannot set up from inside wine, each a case:
#   ctrl-c     Ctrl+C (wine's SIGINT) sent to a batch run that is writing
#              its script: the temporary file goes, the old script stays;
#   full-disk  the rows of windows_scripts.cases for a small disk, on a
#              tmpfs of 2 MiB;
#   link       a script that is a link of the host to a file elsewhere, in
#              a folder that takes new files and in one that takes none
#              (mounted read-only): the file it leads to stays as it was.
# The last two need root and the right to mount; without them they are
# skipped (status 77).
# Usage: wine_check.sh CASE TOOL TESTS EMULATOR...
set -euo pipefail
case=$1 tool=$(realpath "$2") tests=$(realpath "$3")
shift 3
# Run once more when wine failed to start them, as the suite's tests are.
retried=(bash "$(realpath "$(dirname "$0")")/wine_retry.sh" "$@")
skip() { echo "wine_check $case: skipped: $*"; exit 77; }
fail() { echo "wine_check $case: $*"; exit 1; }
work=$(mktemp -d)
cleanup() {
  umount -l "$work/closed" "$work/disk" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
win() { local path=${1//\//\\}; echo "Z:$path"; }
need_mounts() { [ "$(id -u)" = 0 ] || skip "mounting needs root"; }
cd "$work"
printf 'old script\r\n' >old.cfg

case $case in
ctrl-c)
  cp old.cfg out.cfg
  mkfifo in.fifo
  "$@" "$tool" --in-file="$(win "$work/in.fifo")" --out-file="$(win "$work/out.cfg")" &
  run=$!
  # Lines, and no end: the run waits for more with its new script begun.
  exec 3<>in.fifo
  seq 1000 >&3
  for _ in $(seq 100); do [ "$(ls | wc -l)" -gt 3 ] && break; sleep 0.1; done
  ls | grep -q -x 'out\.cfg\.tallsay-[0-9a-f]\{16\}\.tmp' || fail "no temporary file: $(ls)"
  kill -INT "$run"
  wait "$run" || true
  exec 3>&-
  cmp -s old.cfg out.cfg || fail "the old script is lost: $(head -c 80 out.cfg)"
  [ "$(ls | tr '\n' ' ')" = "in.fifo old.cfg out.cfg " ] || fail "files left: $(ls | tr '\n' ' ')"
  ;;
full-disk)
  need_mounts
  mkdir disk
  mount -t tmpfs -o size=2m tmpfs disk || skip "tmpfs cannot be mounted"
  TALLSAY_FULL_DISK=$(win "$work/disk") "${retried[@]}" "$tests" --gtest_also_run_disabled_tests \
    --gtest_filter='*OnAFullDisk' >log 2>&1 || fail "$(cat log)"
  grep -q 'PASSED.*1 test' log || fail "$(cat log)"
  ;;
link)
  need_mounts
  mkdir open closed victim
  printf 'Hi\n' >in.txt
  "${retried[@]}" "$tool" --in-file=in.txt --out-file=expected.cfg
  ln -s "$work/victim/secret.txt" closed/chat.cfg
  mount --bind closed closed && mount -o remount,bind,ro closed || skip "no read-only bind mount"
  for folder in open closed; do
    for run in batch interactive; do
      printf 'secret\n' >victim/secret.txt
      [ $folder = closed ] || { rm -f open/chat.cfg; ln -s "$work/victim/secret.txt" open/chat.cfg; }
      status=0
      [ $run = batch ] && input=(--in-file=in.txt) || input=()
      "${retried[@]}" "$tool" "${input[@]}" --out-file="$folder/chat.cfg" 2>err < <(cat in.txt) || status=$?
      [ "$(cat victim/secret.txt)" = secret ] || fail "$folder, $run run: the link's file was written"
      if [ $folder = open ]; then
        [ $status = 0 ] || fail "$folder, $run run: status $status, $(cat err)"
        cmp -s expected.cfg open/chat.cfg || fail "$folder, $run run: not the script"
      else
        [ $status = 1 ] && [ "$(tr -d '\r' <err)" = "Error, output file open error" ] ||
          fail "$folder, $run run: status $status, $(cat err)"
        [ -L closed/chat.cfg ] || fail "$folder, $run run: the link is gone"
      fi
    done
  done
  ;;
*)
  fail "no such case"
  ;;
esac
echo "wine_check $case: passed"
