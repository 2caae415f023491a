#!/bin/sh
# Makes the Wine prefix the Windows tests run in, or keeps a cached one.
#   wine-prefix.sh <prefix> <wine64> <wineserver> <stamp> [win64|win32]
# (win32: a 32-bit prefix, made with Wine's 32-bit loader)
# A prefix whose stamp names the installed Wine is kept as it is; anything
# else is removed and created afresh (about 10 s). Concurrent calls wait for
# each other.
set -eu
prefix=$1 wine=$2 server=$3 stamp=$4 arch=${5:-win64}
version=$("$wine" --version)
[ "$arch" = win64 ] || version="$version $arch"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -d "$prefix/dosdevices" ]; then
  touch "$stamp"
  echo "wine prefix: cached $prefix ($version)"
  exit 0
fi
WINEPREFIX=$prefix WINESERVER=$server WINEDEBUG=-all WINEARCH=$arch \
  WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEARCH WINEDLLOVERRIDES
"$server" -k 2>/dev/null || true
rm -rf "$prefix"
start=$(date +%s)
"$wine" wineboot -i </dev/null >/dev/null 2>&1
"$server" -w
echo "$version" >"$stamp"
echo "wine prefix: created $prefix in $(( $(date +%s) - start )) s"
