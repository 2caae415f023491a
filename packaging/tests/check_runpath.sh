#!/usr/bin/env bash
# No program of the build searches the working folder for libraries: in the
# build tree every RPATH/RUNPATH entry must be absolute or start at $ORIGIN (an
# empty entry, which CMake pads the build tree's RUNPATH with, or a relative one
# is looked up from the current directory). Installed programs find everything
# in the system's paths and carry no search path at all.
#   check_runpath.sh <file listing the build's programs> [<build dir to install>]
# With a build dir, the programs `cmake --install` puts in place are checked too.
set -uo pipefail
list=${1:?usage: check_runpath.sh LIST [BUILD_DIR]}
build=${2:-}
failures=0
checked=0

check() { # <elf file> [installed]
  local paths entry bad=
  paths=$(readelf -d "$1" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
  while IFS= read -r p; do
    [ -n "$p" ] || continue
    # keep empty fields: "a::b" and a trailing ":" are entries too
    IFS=: read -r -a entries <<<"$p:"
    for entry in "${entries[@]}"; do
      case "$entry" in
        /*|'$ORIGIN'|'$ORIGIN/'*|'${ORIGIN}'|'${ORIGIN}/'*) [ -n "${2:-}" ] && bad+=" '${entry}'" ;;
        *) bad+=" '${entry}'" ;;
      esac
    done
  done <<<"$paths"
  checked=$((checked + 1))
  if [ -n "$bad" ]; then
    if [ -n "${2:-}" ]; then
      echo "FAIL: $1: an installed program with a library search path [$paths]"
    else
      echo "FAIL: $1: search path [$paths] has entries relative to the working folder:$bad"
    fi
    failures=$((failures + 1))
  fi
}

while IFS= read -r exe; do
  [ -n "$exe" ] || continue
  if [ -e "$exe" ]; then
    check "$exe"
  else
    echo "not built, not checked: $exe"
  fi
done <"$list"

if [ -n "$build" ]; then
  prefix=$(mktemp -d)
  trap 'rm -rf "$prefix"' EXIT
  cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
  while IFS= read -r -d '' f; do
    [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] && check "$f" installed
  done < <(find "$prefix" -type f -print0)
fi

echo "$checked program(s) checked"
[ "$checked" -gt 0 ] || { echo "FAIL: nothing to check"; exit 1; }
[ "$failures" = 0 ]
