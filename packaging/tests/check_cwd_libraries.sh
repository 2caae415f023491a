#!/usr/bin/env bash
# Started from a folder full of look-alike libraries, no program of the build
# takes one of them.
#   check_cwd_libraries.sh <poison libjpeg.so.62> <program> <file listing the build's programs>
# Every listed program: the loader, asked where it would load each library
# (LD_TRACE_LOADED_OBJECTS, which runs none of them) from a folder that holds
# a file of each needed name, must name none in that folder.
# <program>: started for real with the poisoned libjpeg.so.62 in its working
# folder; the stand-in leaves a marker when it is loaded. The program is given
# a Qt platform that does not exist, so it stops right after the loader is done.
set -uo pipefail
poison=${1:?usage}
program=${2:?usage}
list=${3:?usage}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
checked=0

while IFS= read -r exe; do
  [ -n "$exe" ] && [ -e "$exe" ] || continue
  dir="$work/trace"
  rm -rf "$dir" && mkdir -p "$dir"
  while IFS= read -r lib; do
    cp "$poison" "$dir/$lib"
  done < <(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
  out=$(cd "$dir" && LD_TRACE_LOADED_OBJECTS=1 "$exe" 2>&1)
  checked=$((checked + 1))
  # a library found through an empty or relative entry is listed by its bare
  # name ("libjpeg.so.62 (0x...)") or by a path that is not absolute
  bad=$(awk -v dir="$dir/" '
    $1 == "linux-vdso.so.1" || $1 ~ /^\// && $2 !~ /^=>/ { next }
    $2 == "=>" && $3 ~ /^\// && index($3, dir) != 1 { next }
    $2 == "=>" && $3 == "not" { next }
    { print }' <<<"$out")
  if [ -n "$bad" ]; then
    echo "FAIL: $exe resolves libraries from its working folder:"
    sed 's/^/  | /' <<<"$bad"
    failures=$((failures + 1))
  fi
done <"$list"
echo "$checked program(s) traced"
[ "$checked" -gt 0 ] || { echo "FAIL: no program to trace"; exit 1; }

run="$work/run"
mkdir -p "$run/xdg" && chmod 700 "$run/xdg"
cp "$poison" "$run/libjpeg.so.62"
ulimit -c 0
out=$(cd "$run" && XDG_RUNTIME_DIR="$run/xdg" QT_QPA_PLATFORM=vexo-no-such-platform \
  timeout 60 "$program" 2>&1)
status=$?
if [ -e "$run/poisoned-library-loaded" ] || [ "$status" = 86 ]; then
  echo "FAIL: $program ran the libjpeg.so.62 of its working folder"
  failures=$((failures + 1))
elif ! grep -q 'platform plugin' <<<"$out"; then
  # without that complaint the program stopped before its libraries were all loaded
  echo "FAIL: $program did not get as far as choosing its Qt platform (status $status):"
  sed 's/^/  | /' <<<"$out"
  failures=$((failures + 1))
else
  echo "ok: $program started beside a poisoned libjpeg.so.62 and did not load it"
fi
[ "$failures" = 0 ]
