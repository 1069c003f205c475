#!/usr/bin/env bash
# The script replaced on storage that gets in the way, each case in a mount
# namespace of its own:
#   no-free-inode   a file system with no inode left for the new script;
#   failed-sync     a disk that fails when the data is written back to it
#                   (a loop device whose backing file has no room left);
#   bind-mount      a script that is a file mounted on its name;
#   no-null-device  a run with no /dev/null and its standard error closed;
#   full-disk       scripts written in place (a second hard link, a file
#                   mounted on its name, a group the new file cannot take,
#                   a new one with no room for a temporary name) on a disk
#                   with room for the new script once, not twice.
# Needs root and the right to mount; without them it says so and is skipped
# (status 77).
# Usage: storage_check.sh TOOL CASE
set -euo pipefail
tool=$(realpath "$1")
case=$2
skip() { echo "storage_check $case: skipped: $*"; exit 77; }
fail() { echo "storage_check $case: $*"; exit 1; }

[ "$(id -u)" = 0 ] || skip "mounting needs root"
if [ -z "${STORAGE_CHECK_NAMESPACE:-}" ]; then
  unshare -m --propagation private true 2>/dev/null || skip "no mount namespace can be made here"
  STORAGE_CHECK_NAMESPACE=1 exec unshare -m --propagation private bash "$0" "$@"
fi

# In /tmp, which every user reaches, whatever TMPDIR is: a case runs the tool
# as a second user.
work=$(mktemp -d /tmp/tallsay-storage.XXXXXX)
loop=
cleanup() {
  cd /
  for mounted in fs/out.cfg full/out.cfg fs full; do umount -l "$work/$mounted" 2>/dev/null || true; done
  [ -z "$loop" ] || losetup -d "$loop" 2>/dev/null || true
  umount -l "$work/back" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir fs back full
chmod o+x "$work"
printf 'old script\r\n' >old.cfg
for i in $(seq 2000); do echo "Hello world $i"; done >many.txt
"$tool" --in-file=many.txt --out-file=expected.cfg
printf 'Hello world 2000\n' | "$tool" --out-file=expected-last.cfg

# Runs the tool as the user `user` in each run of `runs` (batch, interactive)
# over the text `text` into `script`, after the old script is put into
# `kept`; each must fail with a write error and leave the old script there,
# byte for byte, and the folder `folder` holding only `names`.
expect_kept() {
  local what=$1 user=$2 runs=$3 text=$4 script=$5 kept=$6 folder=$7 names=$8 run status input
  for run in $runs; do
    cp old.cfg "$kept"
    status=0
    # An interactive run reads the text as typed lines.
    [ "$run" = batch ] && input=(--in-file="$text") || input=()
    setpriv --reuid="$user" --regid="$user" --clear-groups \
      "$tool" "${input[@]}" --out-file="$script" <"$text" 2>err || status=$?
    [ "$status" = 1 ] || fail "$what, $run run: status $status, $(cat err)"
    [ "$(cat err)" = "Error, output file write error" ] || fail "$what, $run run: $(cat err)"
    cmp -s old.cfg "$kept" || fail "$what, $run run: the old script is lost: $(head -c 80 "$kept")"
    [ "$(ls "$folder" | tr '\n' ' ')" = "$names" ] || fail "$what: files left: $(ls "$folder" | tr '\n' ' ')"
  done
}

case $case in
no-free-inode)
  mount -t tmpfs -o size=256k,nr_inodes=16 tmpfs fs || skip "tmpfs cannot be mounted"
  cp old.cfg fs/out.cfg
  n=0
  while { : >"fs/taken$n"; } 2>/dev/null; do n=$((n + 1)); done
  expect_kept "no free inode" 0 "batch interactive" many.txt fs/out.cfg fs/out.cfg fs \
    "out.cfg $(cd fs && ls | grep taken | tr '\n' ' ')"
  ;;
failed-sync)
  # The file system thinks it has 64 MiB; its disk's backing file takes only
  # what fits in 8 MiB of memory, and once that is full every block that the
  # file system writes back fails. Its blocks are as large as the memory's
  # pages, so that no new block shares a page with one written before, which
  # would take it.
  mount -t tmpfs -o size=8m tmpfs back || skip "tmpfs cannot be mounted"
  truncate -s 64M back/disk
  mkfs.ext2 -q -b 4096 -N 64 -m 0 back/disk || skip "mkfs.ext2 failed"
  loop=$(losetup -f --show back/disk 2>/dev/null) || skip "no loop device can be set up"
  mount "$loop" fs || skip "the loop device cannot be mounted"
  cp old.cfg fs/out.cfg
  sync
  dd if=/dev/zero of=back/fill bs=64k status=none 2>/dev/null || true
  expect_kept "a failed sync" 0 "batch interactive" many.txt fs/out.cfg fs/out.cfg fs "lost+found out.cfg "
  ;;
bind-mount)
  printf 'other file\r\n' >mounted.cfg
  cp old.cfg fs/out.cfg
  mount --bind mounted.cfg fs/out.cfg || skip "a file cannot be bind-mounted"
  # The copy goes by pieces of 64 KiB: a script of one byte past twelve of
  # them has a last piece of one byte.
  { for i in $(seq 2136); do echo "Hello world $i"; done
    printf '%058d' 0 | tr 0 '!'; printf '%049d\n' 0 | tr 0 '\t'; } >odd.txt
  "$tool" --in-file=odd.txt --out-file=expected-odd.cfg
  [ "$(stat -c %s expected-odd.cfg)" = $((12 * 65536 + 1)) ] || fail "odd.txt makes no script of 12 pieces and a byte"
  "$tool" --out-file=fs/out.cfg --in-file=many.txt || fail "batch run"
  cmp -s expected.cfg mounted.cfg || fail "batch run: the mounted file is not the script"
  "$tool" --out-file=fs/out.cfg <many.txt || fail "interactive run"
  cmp -s expected-last.cfg mounted.cfg || fail "interactive run: the mounted file is not the script"
  "$tool" --out-file=fs/out.cfg --in-file=odd.txt || fail "batch run of odd.txt"
  cmp -s expected-odd.cfg mounted.cfg || fail "batch run of odd.txt: the mounted file is not the script"
  [ "$(ls fs | tr '\n' ' ')" = "out.cfg " ] || fail "files left: $(ls fs | tr '\n' ' ')"
  ;;
no-null-device)
  printf 'Hello world\n' | "$tool" --out-file=warned.cfg --line-len=5 2>/dev/null
  mount -t tmpfs tmpfs /dev || skip "no file system can be mounted on /dev"
  [ ! -e /dev/null ] || fail "/dev/null is still there"
  printf 'Hello world\n' | "$tool" --out-file=fs/closed.cfg --line-len=5 2>&-
  cmp -s warned.cfg fs/closed.cfg || fail "the warning went into the script: $(head -n 1 fs/closed.cfg)"
  "$tool" --out-file=fs/nothing.cfg <&- 2>&- || fail "closed standard input: status $?"
  [ ! -e fs/nothing.cfg ] || fail "closed standard input made a script"
  ;;
full-disk)
  # 512 KiB with 160 KiB taken and a script of 229 KiB: the new script fits
  # once beside the old one, and not a second time.
  for i in $(seq 250); do printf 'Hello world, this is line number %03d!\n' "$i"; done >long.txt
  "$tool" --in-file=long.txt --out-file=expected.cfg
  mount -t tmpfs -o size=512k,mode=0755 tmpfs fs || skip "tmpfs cannot be mounted"
  head -c 160k /dev/zero >fs/other
  # A script of another group, as a user of no group: the new file cannot
  # take the group.
  cp old.cfg fs/out.cfg
  chown 65534:0 fs fs/out.cfg
  expect_kept "a script of another group" 65534 batch long.txt "$work/fs/out.cfg" fs/out.cfg fs "other out.cfg "
  chown 0:0 fs fs/out.cfg
  # A script mounted on its name from a disk with no room for it, in a
  # folder with room.
  mount -t tmpfs -o size=4m tmpfs full
  cp old.cfg full/out.cfg
  head -c 200k /dev/zero >fs/more
  mount --bind fs/out.cfg full/out.cfg || skip "a file cannot be bind-mounted"
  expect_kept "a script mounted on its name" 0 batch long.txt full/out.cfg fs/out.cfg full "out.cfg "
  umount full/out.cfg
  rm fs/more
  ln fs/out.cfg fs/second.cfg
  expect_kept "a script of two links" 0 batch long.txt fs/out.cfg fs/second.cfg fs "other out.cfg second.cfg "
  # A new script with no room for a temporary name: nothing is left of it.
  long=$(printf '%0250d' 0 | tr 0 n)
  "$tool" --in-file=long.txt --out-file="fs/$long" 2>err && fail "a new script with a long name: status 0"
  [ ! -e "fs/$long" ] || fail "a new script with a long name is left, $(stat -c %s "fs/$long") bytes"
  # With room for it, it is written.
  rm fs/other
  "$tool" --in-file=long.txt --out-file=fs/out.cfg || fail "a script of two links on a disk with room"
  cmp -s expected.cfg fs/second.cfg || fail "a script of two links on a disk with room: not the script"
  ;;
*)
  fail "no such case"
  ;;
esac
echo "storage_check $case: passed"
