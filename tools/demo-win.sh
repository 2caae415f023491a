#!/usr/bin/env bash
# Starts the Windows program under Wine against the stand-in Vexo: COM1 of
# the build's Wine prefix is linked to the stand-in's pseudo-terminal, and a
# demo working folder's Work\ATVexo.000 names COM1, so a press gets a real
# answer. Needs a display (DISPLAY) and a Windows build with its tests on:
#   cmake --build build-win && tools/demo-win.sh [build-win]
set -euo pipefail
build=$(cd "${1:-build-win}" && pwd)
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
WINEPREFIX=$(cache VEXO_WINEPREFIX)
WINESERVER=$(cache VEXO_WINESERVER)
wine=$(cache VEXO_WINE)
sim="$build/wine/vexo-sim"
# one copy per loader; the dynamic loader expands $LIB to its own
shim="$build/wine/\$LIB/pty_modem_shim.so"
for f in "$build/bin/AT_Vexo.exe" "$sim" "$build/wine/lib/x86_64-linux-gnu/pty_modem_shim.so" "$WINEPREFIX/dosdevices"; do
  [ -e "$f" ] || { echo "demo-win: $f is missing: build $build first (cmake --build $build)" >&2; exit 1; }
done
WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES

demo="$build/demo-win"
mkdir -p "$demo/Work"
printf 'COM1\r\n' >"$demo/Work/ATVexo.000"
link=$(mktemp -u /tmp/vexo-demo-win.XXXXXX)
"$sim" --no-window --no-stdin --link "$link" >"$demo/vexo-sim.out" &
simpid=$!
trap 'kill "$simpid" 2>/dev/null || true; wait "$simpid" 2>/dev/null || true
      rm -f "$WINEPREFIX/dosdevices/com1"; "$WINESERVER" -k 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "demo-win: vexo-sim did not start" >&2; exit 1; }
# One Wine session for the whole demo: a session that starts links COM1 to
# /dev/ttyS0 again, so the link is made once the session runs.
setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1
# metric-compatible faces for the fonts the layouts name
for pair in "Courier New=Liberation Mono" "Times New Roman=Liberation Serif" "MS Sans Serif=Liberation Sans"; do
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /t REG_SZ /d "${pair#*=}" /f \
    >/dev/null 2>&1
done
ln -sfn "$(readlink "$link")" "$WINEPREFIX/dosdevices/com1"
echo "stand-in Vexo on $(head -n1 "$demo/vexo-sim.out") as COM1"
cd "$demo"
# the shim answers Wine's modem-line requests on the pseudo-terminal
LD_PRELOAD="$shim" "$wine" "$build/bin/AT_Vexo.exe"
