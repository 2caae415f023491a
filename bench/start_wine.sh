#!/usr/bin/env bash
# Start-up and memory of the Windows program under Wine beside the Linux
# program, on one private Xvfb display on this machine:
#   bench/start_wine.sh [build-win] [build] [runs]
# Start-up: from the spawn to the main window mapped (xdotool sees it), with
# the Wine session already running (as Windows itself would be); the first
# run of each is a warm-up and not counted. Memory: resident set of the
# program's process once it idles 1 s after showing (for Wine also the
# session's own processes, which a Windows has anyway).
set -euo pipefail
win=$(cd "${1:-build-win}" && pwd)
lin=$(cd "${2:-build}" && pwd)
runs=${3:-10}
here=$(cd "$(dirname "$0")/.." && pwd)
cache() { sed -n "s/^$1:[A-Z]*=//p" "$win/CMakeCache.txt"; }
WINEPREFIX=$(cache VEXO_WINEPREFIX) WINESERVER=$(cache VEXO_WINESERVER)
wine=$(cache VEXO_WINE)
WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES
for f in "$win/bin/AT_Vexo.exe" "$lin/bin/AT_Vexo"; do
  [ -x "$f" ] || { echo "start_wine: $f missing (build both programs first)" >&2; exit 1; }
done
title='"AT" команды "Vexo"'
state=$(mktemp -d "${TMPDIR:-/tmp}/vexo-bench.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  sh "$here/tests/win32/xvfb.sh" stop "$state" "$wine" "$WINEPREFIX" "$WINESERVER"
  "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$state"
}
trap cleanup EXIT
# a session of the build's prefix of its own, kept running between the starts
"$WINESERVER" -k 2>/dev/null || true
setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1
sh "$here/tests/win32/xvfb.sh" start "$state" "$wine" "$WINEPREFIX" "$WINESERVER" >/dev/null
export DISPLAY=:$(cat "$state/display")
mkdir -p "$state/run/Work"
cd "$state/run"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
# one start: prints "<ms to the window> <rss kB>"
measure() {
  local t0 t1
  t0=$(now_ms)
  "$@" </dev/null >/dev/null 2>"$state/err" &
  pid=$!
  until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "start_wine: $* ended early: $(cat "$state/err")" >&2; exit 1; }
    sleep 0.002
  done
  t1=$(now_ms)
  sleep 1
  echo "$((t1 - t0)) $(rss_kb "$pid")"
  kill "$pid"; wait "$pid" 2>/dev/null || true; pid=
  while xdotool search --name "$title" >/dev/null 2>&1; do sleep 0.01; done
}
stats() { # label unit values...
  local label=$1 unit=$2; shift 2
  printf '%s\n' "$@" | sort -n | awk -v l="$label" -v u="$unit" \
    '{v[NR]=$1} END {printf "%-44s median %6d %s  (min %d, max %d, n=%d)\n", l, v[int((NR+1)/2)], u, v[1], v[NR], NR}'
}
session_rss() { # the Wine session's own processes
  local total=0 p
  for p in $(pgrep -x wineserver64) $(pgrep -x wineserver) $(pgrep -f '^C:\\windows\\system32\\(services|explorer|winedevice|plugplay|svchost|rpcss)'); do
    total=$((total + $(rss_kb "$p")))
  done
  echo "$total"
}

for prog in win lin; do
  times=() mem=()
  for i in $(seq 0 "$runs"); do
    if [ $prog = win ]; then
      out=$(measure "$wine" "$win/bin/AT_Vexo.exe")
    else
      out=$(QT_QPA_PLATFORM=xcb measure "$lin/bin/AT_Vexo")
    fi
    [ "$i" -eq 0 ] && continue # warm-up
    times+=("${out% *}") mem+=("${out#* }")
  done
  if [ $prog = win ]; then
    stats "Windows program under Wine: start-up" ms "${times[@]}"
    stats "Windows program under Wine: resident" kB "${mem[@]}"
    echo "Wine session processes (shared, running before): $(session_rss) kB resident"
  else
    stats "Linux program (Qt, xcb): start-up" ms "${times[@]}"
    stats "Linux program (Qt, xcb): resident" kB "${mem[@]}"
  fi
done
