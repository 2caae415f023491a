#!/bin/sh
# PNG screenshots of the four windows under Wine on a private Xvfb display,
# at 96 DPI and at 144 DPI (a prefix of its own): <out dir>/<window>-<dpi>.png;
# with a third prefix, also on short screens (1366 x 728 at 96 DPI, 1920 x 1020
# at 144): <out dir>/<window>-<dpi>-<screen>.png.
#   screenshots.sh <win32_screenshots.exe> <out dir> <wine64> <prefix> <wineserver> <tests/win32 dir> <144-DPI prefix>
#                  [<short-screen 96-DPI prefix>]
set -eu
exe=$1 out=$2 wine=$3 WINEPREFIX=$4 WINESERVER=$5 tests=$6 prefix144=$7 prefixShort=${8:-}
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
if [ -n "$prefixShort" ]; then
  for shot in "96 $prefixShort 1366x728" "144 $prefix144 1920x1020"; do
    set -- $shot
    mkdir -p "$out/$1-$3"
    VEXO_DPI_SCREEN=$3x24 sh "$tests/dpi.sh" "$1" "$2" "$wine" "$WINESERVER" "$tests" "$exe" "$(winout "$out/$1-$3")"
    for name in splash main help about; do
      python3 "$here/bmp2png.py" "$out/$1-$3/$name.bmp" "$out/$name-$1-$3.png"
    done
    rm -rf "${out:?}/$1-$3"
  done
fi
ls "$out"/*.png
