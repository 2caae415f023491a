#!/bin/sh
# Exit 0 when this machine's kernel runs 32-bit (i386) programs, which Wine's
# 32-bit loader needs; 1 when it refuses them (no IA32 emulation, or turned
# off: "Exec format error"). Asks the kernel itself with a 96-byte static i386
# program that only exits with status 42, so nothing needs installing first.
# Tried in $TMPDIR, then in the current folder, in case one is mounted noexec.
set -u
for base in "${TMPDIR:-/tmp}" "$PWD"; do
  dir=$(mktemp -d "$base/vexo-i386.XXXXXX") || continue
  # ELF header, one program header, then: mov eax,1; mov ebx,42; int 0x80
  echo 'f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhgAAAAYAAAAAUAAAAAEAAAuAEAAAC7KgAAAM2A' |
    base64 -d >"$dir/exit42" && chmod +x "$dir/exit42"
  "$dir/exit42" 2>/dev/null
  rc=$?
  rm -rf "$dir"
  [ $rc -eq 42 ] && exit 0
  # 126: the folder does not let programs run; anything else is the kernel's answer
  [ $rc -eq 126 ] || exit 1
done
exit 1
