#!/usr/bin/env bash
# Checks the players' archives that the dist preset makes: each holds one
# folder with exactly the files a player needs; the Windows texts have CR LF
# line ends, its tools are 32-bit console programs and its window a 32-bit
# program with a window of at most 256 KB, none needing a DLL beyond
# Windows' own; the Linux programs are static and convert the example, and
# its README speaks of Linux alone.
# Usage: check_dist.sh DIST_FOLDER VERSION
set -euo pipefail
dist=$1 version=$2
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_dist: $*"; exit 1; }

win=tallsay-$version-win32 linux=tallsay-$version-linux-x86_64
[ "$(unzip -Z1 "$dist/$win.zip" | sort | tr '\n' ' ')" = \
  "$win/ $win/LICENSE.txt $win/README.txt $win/chat.bat $win/convert.bat $win/hello.txt $win/tallsay-preview.exe $win/tallsay-window.exe $win/tallsay.exe " ] ||
  fail "the zip does not hold the expected files: $(unzip -Z1 "$dist/$win.zip" | tr '\n' ' ')"
[ "$(tar tzf "$dist/$linux.tar.gz" | sort | tr '\n' ' ')" = \
  "$linux/ $linux/LICENSE $linux/README $linux/hello.txt $linux/tallsay $linux/tallsay-preview $linux/tallsay-preview.1 $linux/tallsay.1 " ] ||
  fail "the tarball does not hold the expected files: $(tar tzf "$dist/$linux.tar.gz" | tr '\n' ' ')"

unzip -q "$dist/$win.zip" -d "$work"
tar xzf "$dist/$linux.tar.gz" -C "$work"
for text in README.txt LICENSE.txt hello.txt chat.bat convert.bat; do
  [ "$(grep -c $'\r$' "$work/$win/$text")" = "$(wc -l <"$work/$win/$text")" ] ||
    fail "$text has lines that do not end in CR LF"
done
for exe in tallsay tallsay-preview; do
  bash "$here/check_windows_exe.sh" i686-w64-mingw32-objdump "$work/$win/$exe.exe" pei-i386
  ! readelf -l "$work/$linux/$exe" | grep -q INTERP || fail "$exe is not static"
done
bash "$here/check_windows_exe.sh" i686-w64-mingw32-objdump "$work/$win/tallsay-window.exe" pei-i386 gui
size=$(stat -c %s "$work/$win/tallsay-window.exe")
[ "$size" -le $((256 * 1024)) ] || fail "tallsay-window.exe is $size bytes, more than 256 KB"
echo "tallsay-window.exe: $size bytes"
! grep -n -i -E 'chat\.bat|convert\.bat|\.exe|notepad|license\.txt|windows|explorer|\bdir\b|cmd' \
  "$work/$linux/README" || fail "the Linux README speaks of Windows"
"$work/$linux/tallsay" --in-file="$work/$linux/hello.txt" --out-file="$work/hello.cfg"
"$work/$linux/tallsay-preview" "$work/hello.cfg" >"$work/hello.shown"
# The example makes a script that the console takes whole: no note.
! grep '^note: ' "$work/hello.shown" || fail "the example's script passes a limit of the console"
# The chain the Linux read-me makes by hand: each script the tool's own for
# its line and the bind of the next.
mkdir "$work/chain" && cp "$work/$linux/tallsay" "$work/chain/"
printf 'gg wp\nnice shot\nthanks\n' >"$work/chain/lines.txt"
sed -n '/^    n=\$(grep -c/,/^    done <lines.txt/p' "$work/$linux/README" | sed 's/^    //' >"$work/chain.sh"
(cd "$work/chain" && bash "$work/chain.sh")
for made in "chat.cfg gg wp chat-2.cfg" "chat-2.cfg nice shot chat-3.cfg" "chat-3.cfg thanks chat.cfg"; do
  set -- $made
  name=$1 next=${*: -1} line=${*:2:$#-2}
  printf '%s\n' "$line" | "$work/$linux/tallsay" --out-file="$work/expected.cfg"
  printf 'bind F5 "exec %s"\r\n' "$next" >>"$work/expected.cfg"
  cmp -s "$work/expected.cfg" "$work/chain/$name" || fail "the read-me's chain: $name differs"
done
echo "check_dist: both archives hold what a player needs"
