#!/bin/sh
# A program under Wine at another DPI: a prefix of its own whose LogPixels
# is that DPI (made once, about 20 s), its own X server and wineserver.
#   dpi.sh <dpi> <prefix> <wine64> <wineserver> <tests/win32 dir> program.exe [arguments...]
# VEXO_DPI_SCREEN: the screen, 1920x1200x24 (room for the main window at 150 %) unless set.
# VEXO_WINEARCH: the prefix's kind, win64 unless set (win32 for 32-bit programs).
set -u
dpi=$1 prefix=$2 wine=$3 server=$4 here=$5
shift 5
sh "$here/../wine/wine-prefix.sh" "$prefix" "$wine" "$server" "$prefix/.vexo-prefix" "${VEXO_WINEARCH:-win64}" >/dev/null || exit 1
WINEPREFIX=$prefix WINESERVER=$server WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES
state=$(mktemp -d "${TMPDIR:-/tmp}/vexo-dpi.XXXXXX") || exit 1
trap 'sh "$here/xvfb.sh" stop "$state" "$wine" "$prefix" "$server"; "$server" -k 2>/dev/null; rm -rf "$state"' EXIT
setsid "$server" -p </dev/null >/dev/null 2>&1
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
VEXO_XVFB_SCREEN=${VEXO_DPI_SCREEN:-1920x1200x24} sh "$here/xvfb.sh" start "$state" "$wine" "$prefix" "$server" >/dev/null || exit 1
DISPLAY=:$(cat "$state/display") VEXO_DPI=$dpi "$wine" "$@"
