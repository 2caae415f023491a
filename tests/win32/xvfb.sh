#!/bin/sh
# One X server for the window tests under Wine, and the Wine prefix's font
# replacements (metric-compatible faces for the fonts the layouts name).
#   xvfb.sh start|stop <state dir> <wine64> <prefix> <wineserver>
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
  # -displayfd picks a free display number and writes it once it listens
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/pid"
  tries=0
  while [ ! -s "$dir/display" ]; do
    tries=$((tries + 1))
    [ $tries -le 500 ] || { echo "xvfb.sh: Xvfb did not start" >&2; exit 1; }
    sleep 0.01
  done
  for pair in "Courier New=Liberation Mono" "Times New Roman=Liberation Serif" "MS Sans Serif=Liberation Sans"; do
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
