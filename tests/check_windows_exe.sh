#!/usr/bin/env bash
# Checks that a Windows build of a program is of the expected format and kind
# (a console program, or with gui a program with a window), imports no DLL
# beyond those every Windows has, and has a manifest that takes long paths.
# Usage: check_windows_exe.sh OBJDUMP EXE FORMAT [gui]   (FORMAT: pei-i386 or pei-x86-64)
set -euo pipefail
objdump=$1 exe=$2 format=$3 kind=${4:-console}
headers=$("$objdump" -p "$exe")
grep -q "file format $format\$" <<<"$headers" || { echo "not $format: $exe"; exit 1; }
if [ "$kind" = gui ]; then
  system_dlls="kernel32.dll msvcrt.dll advapi32.dll bcrypt.dll ntdll.dll user32.dll gdi32.dll comdlg32.dll shell32.dll"
  grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || { echo "not a window program: $exe"; exit 1; }
else
  system_dlls="kernel32.dll msvcrt.dll advapi32.dll bcrypt.dll ntdll.dll"
  grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" || { echo "not a console program: $exe"; exit 1; }
fi
grep -aq '<longPathAware[^>]*>true</longPathAware>' "$exe" || { echo "no long paths: $exe"; exit 1; }
dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | sort -u)
echo "imports:" $dlls
for dll in $dlls; do
  [[ " $system_dlls " == *" ${dll,,} "* ]] || { echo "unexpected DLL: $dll"; exit 1; }
done
