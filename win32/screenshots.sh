#!/bin/sh
# PNG screenshots of the four windows under Wine on a private Xvfb display.
#   screenshots.sh <win32_screenshots.exe> <out dir> <wine64> <prefix> <wineserver> <xvfb.sh>
set -eu
exe=$1 out=$2 wine=$3 WINEPREFIX=$4 WINESERVER=$5 xvfb=$6
WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES
state=$(mktemp -d "${TMPDIR:-/tmp}/vexo-shots.XXXXXX")
trap 'sh "$xvfb" stop "$state" "$wine" "$WINEPREFIX" "$WINESERVER"; rm -rf "$state"' EXIT
sh "$xvfb" start "$state" "$wine" "$WINEPREFIX" "$WINESERVER" >/dev/null
mkdir -p "$out"
DISPLAY=:$(cat "$state/display") "$wine" "$exe" "$(winepath -w "$out" 2>/dev/null || echo "Z:$out")"
for name in splash main help about; do
  convert "$out/$name.bmp" "$out/$name.png" && rm -f "$out/$name.bmp"
done
ls "$out"/*.png
