#!/bin/sh
# PNG screenshots of the four windows under Wine on a private Xvfb display,
# at 96 DPI and at 144 DPI (a prefix of its own): <out dir>/<window>-<dpi>.png.
#   screenshots.sh <win32_screenshots.exe> <out dir> <wine64> <prefix> <wineserver> <tests/win32 dir> <144-DPI prefix>
set -eu
exe=$1 out=$2 wine=$3 WINEPREFIX=$4 WINESERVER=$5 tests=$6 prefix144=$7
here=$(dirname "$0")
WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES
state=$(mktemp -d "${TMPDIR:-/tmp}/vexo-shots.XXXXXX")
trap 'sh "$tests/xvfb.sh" stop "$state" "$wine" "$WINEPREFIX" "$WINESERVER"; rm -rf "$state"' EXIT
mkdir -p "$out/96" "$out/144"
winout() { winepath -w "$1" 2>/dev/null || echo "Z:$1"; }
sh "$tests/xvfb.sh" start "$state" "$wine" "$WINEPREFIX" "$WINESERVER" >/dev/null
DISPLAY=:$(cat "$state/display") "$wine" "$exe" "$(winout "$out/96")"
sh "$tests/dpi.sh" 144 "$prefix144" "$wine" "$WINESERVER" "$tests" "$exe" "$(winout "$out/144")"
for dpi in 96 144; do
  for name in splash main help about; do
    python3 "$here/bmp2png.py" "$out/$dpi/$name.bmp" "$out/$name-$dpi.png"
  done
  rm -rf "${out:?}/$dpi"
done
ls "$out"/*.png
