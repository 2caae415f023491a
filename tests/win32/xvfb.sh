#!/bin/sh
# One X server for the window tests under Wine, and the Wine prefix's font
# replacements (metric-compatible faces for the fonts the layouts name).
#   xvfb.sh start|stop <state dir> <wine64> <prefix> <wineserver>
# VEXO_XVFB_SCREEN: the screen, 1280x1024x24 unless set.
set -u
action=$1 dir=$2 wine=$3
WINEPREFIX=$4 WINESERVER=$5 WINEDEBUG=-all
WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES
mkdir -p "$dir"
case $action in
start)
  if [ -f "$dir/pid" ] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
    kill "$(cat "$dir/pid")"
  fi
  rm -f "$dir/display" "$dir/pid"
  # a display number far from those xvfb-run -a and the first free ones
  # take; the next one if it is taken meanwhile
  n=200
  while :; do
    [ $n -lt 300 ] || { echo "xvfb.sh: no free display" >&2; exit 1; }
    if [ ! -e "/tmp/.X$n-lock" ]; then
      setsid Xvfb ":$n" -screen 0 "${VEXO_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset </dev/null >/dev/null 2>&1 &
      echo $! >"$dir/pid"
      tries=0
      while kill -0 "$(cat "$dir/pid")" 2>/dev/null && [ ! -S "/tmp/.X11-unix/X$n" ] && [ $tries -lt 500 ]; do
        tries=$((tries + 1))
        sleep 0.01
      done
      if kill -0 "$(cat "$dir/pid")" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ]; then
        echo $n >"$dir/display"
        break
      fi
      kill "$(cat "$dir/pid")" 2>/dev/null
    fi
    n=$((n + 1))
  done
  for pair in "Courier New=Liberation Mono" "Times New Roman=Liberation Serif" "MS Sans Serif=Liberation Sans Narrow"; do
    "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /t REG_SZ /d "${pair#*=}" /f \
      </dev/null >/dev/null 2>&1
  done
  echo "xvfb.sh: display :$(cat "$dir/display")"
  ;;
stop)
  [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null
  rm -f "$dir/display" "$dir/pid"
  ;;
esac
exit 0
