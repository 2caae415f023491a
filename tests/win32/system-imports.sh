#!/bin/sh
# Fails unless the Windows program imports only DLLs that every Windows has
# (no mingw, C++ or other run-time DLL to ship beside it); prints them.
#   system-imports.sh <program.exe> <objdump>
set -eu
exe=$1 objdump=$2
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
[ -n "$dlls" ] || { echo "system-imports: no imports read from $exe" >&2; exit 1; }
for d in $dlls; do
  case $d in
  kernel32.dll | user32.dll | advapi32.dll | setupapi.dll | gdi32.dll | comctl32.dll | comdlg32.dll | shell32.dll | ole32.dll | msimg32.dll | msvcrt.dll) ;;
  *) echo "system-imports: $exe imports $d" >&2; exit 1 ;;
  esac
done
echo "imports: $(echo $dlls)"
