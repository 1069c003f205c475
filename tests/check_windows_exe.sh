#!/usr/bin/env bash
# Checks that a Windows build of the tool is a console program of the expected
# format that imports no DLL beyond those every Windows has.
# Usage: check_windows_exe.sh OBJDUMP EXE FORMAT   (FORMAT: pei-i386 or pei-x86-64)
set -euo pipefail
objdump=$1 exe=$2 format=$3
headers=$("$objdump" -p "$exe")
grep -q "file format $format\$" <<<"$headers" || { echo "not $format: $exe"; exit 1; }
grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" || { echo "not a console program: $exe"; exit 1; }
dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | sort -u)
echo "imports:" $dlls
for dll in $dlls; do
  case "${dll,,}" in
    kernel32.dll | msvcrt.dll) ;;
    *) echo "unexpected DLL: $dll"; exit 1 ;;
  esac
done
