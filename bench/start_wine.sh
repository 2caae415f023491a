#!/usr/bin/env bash
# Start-up, memory and exit of the Windows program under Wine beside a bare
# Win32 window of the same size (bench/bare_window_win.cpp, with a timer
# running) and the Linux program, on one private Xvfb display:
#   bench/start_wine.sh [build-win] [build] [runs]
# Each round starts the bare window, then AT_Vexo.exe (then the Linux program
# when [build] holds it); the first round is a warm-up and not counted.
# Start-up: from the spawn to the main window mapped (xdotool sees it), with
# the Wine session already running (as Windows itself would be). Memory:
# resident set of the program's process once it idles 1 s after showing (for
# Wine also the session's own processes, which a Windows has anyway). Exit:
# from the click on the exit button (the bare window: a click in it, which
# closes it by WM_CLOSE) to the end of the process.
set -euo pipefail
win=$(cd "${1:-build-win}" && pwd)
lin=$(cd "${2:-build}" 2>/dev/null && pwd || true)
runs=${3:-10}
here=$(cd "$(dirname "$0")/.." && pwd)
cache() { sed -n "s/^$1:[A-Z]*=//p" "$win/CMakeCache.txt"; }
WINEPREFIX=$(cache VEXO_WINEPREFIX) WINESERVER=$(cache VEXO_WINESERVER)
wine=$(cache VEXO_WINE)
WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES
exe=$win/bin/AT_Vexo.exe bare=$win/bench/bench_bare_window.exe
for f in "$exe" "$bare"; do
  [ -f "$f" ] || { echo "start_wine: $f missing (cmake --build $win --target AT_Vexo bench_bare_window)" >&2; exit 1; }
done
[ -n "$lin" ] && [ ! -x "$lin/bin/AT_Vexo" ] && lin=
title='"AT" команды "Vexo"' bare_title='bare window'
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

now_us() { echo $(( $(date +%s%N) / 1000 )); }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
# one start: prints "<ms to the window> <rss kB> <ms from the exit click to
# the end, or - where the program is only killed>"
#   measure <window title> <exit click x,y or -> <command...>
measure() {
  local name=$1 click=$2 t0 t1 w shown
  shift 2
  xdotool mousemove 1270 1010 # out of the way of the new window
  t0=$(now_us)
  "$@" </dev/null >/dev/null 2>"$state/err" &
  pid=$!
  until xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "start_wine: $* ended early: $(cat "$state/err")" >&2; exit 1; }
    sleep 0.002
  done
  t1=$(now_us)
  shown=$(( (t1 - t0 + 500) / 1000 ))
  w=$(xdotool search --onlyvisible --name "$name" | head -n1)
  if [ "$name" = "$title" ]; then
    # the program moves itself to the corner once its loop runs (Wine draws
    # no frame here: 4,23); the click is aimed after that
    local tries=0
    until xdotool getwindowgeometry "$w" | grep -q 'Position: [0-9],[0-9]* '; do
      tries=$((tries + 1))
      [ $tries -lt 1000 ] || { echo "start_wine: $* did not move to the corner" >&2; exit 1; }
      sleep 0.01
    done
  fi
  sleep 1
  local rss gone=-
  rss=$(rss_kb "$pid")
  if [ "$click" = - ]; then
    kill "$pid"; wait "$pid" 2>/dev/null || true
  else
    # the pointer rests first: a button's hint comes up about 0.5 s after
    # the pointer stops on it and would take an early click
    xdotool mousemove --window "$w" "${click%,*}" "${click#*,}"
    sleep 0.2
    t0=$(now_us)
    xdotool click 1
    while kill -0 "$pid" 2>/dev/null; do
      [ $(( $(now_us) - t0 )) -lt 20000000 ] || { echo "start_wine: $* did not end on the exit click" >&2; exit 1; }
      sleep 0.001
    done
    t1=$(now_us)
    wait "$pid" 2>/dev/null || true
    gone=$(( (t1 - t0 + 500) / 1000 ))
  fi
  pid=
  while xdotool search --name "$name" >/dev/null 2>&1; do sleep 0.01; done
  echo "$shown $rss $gone"
}
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
stats() { # label unit values...
  local label=$1 unit=$2; shift 2
  printf '%s\n' "$@" | sort -n | awk -v l="$label" -v u="$unit" \
    '{v[NR]=$1} END {printf "%-46s median %6d %s  (min %d, max %d, n=%d)\n", l, v[int((NR+1)/2)], u, v[1], v[NR], NR}'
}
session_rss() { # the Wine session's own processes
  local total=0 p
  for p in $(pgrep -x wineserver64) $(pgrep -x wineserver) $(pgrep -f '^C:\\windows\\system32\\(services|explorer|winedevice|plugplay|svchost|rpcss)'); do
    total=$((total + $(rss_kb "$p")))
  done
  echo "$total"
}

b_up=() b_mem=() b_end=() v_up=() v_mem=() v_end=() l_up=() l_mem=()
for i in $(seq 0 "$runs"); do
  measure "$bare_title" 301,17 "$wine" "$bare" "$bare_title" >"$state/m"
  read -r up mem end <"$state/m"
  [ "$i" -gt 0 ] && b_up+=("$up") b_mem+=("$mem") b_end+=("$end")
  # the toolbar's exit button (the fourth button: 265 + 36, 2 + 15)
  measure "$title" 301,17 "$wine" "$exe" >"$state/m"
  read -r up mem end <"$state/m"
  [ "$i" -gt 0 ] && v_up+=("$up") v_mem+=("$mem") v_end+=("$end")
  if [ -n "$lin" ]; then
    QT_QPA_PLATFORM=xcb measure "$title" - "$lin/bin/AT_Vexo" >"$state/m"
    read -r up mem end <"$state/m"
    [ "$i" -gt 0 ] && l_up+=("$up") l_mem+=("$mem")
  fi
done

stats "bare Win32 window under Wine: start-up" ms "${b_up[@]}"
stats "Windows program under Wine: start-up" ms "${v_up[@]}"
vu=$(median "${v_up[@]}") bu=$(median "${b_up[@]}")
awk -v v="$vu" -v b="$bu" 'BEGIN {r = v / b; printf "start-up beside the bare window: %.2fx (target <= 1.3x): %s\n", r, r <= 1.3 ? "met" : "MISSED"}'
stats "bare Win32 window under Wine: exit" ms "${b_end[@]}"
stats "Windows program under Wine: exit" ms "${v_end[@]}"
ve=$(median "${v_end[@]}")
echo "exit click -> process ended: $ve ms (target < 300 ms): $([ "$ve" -lt 300 ] && echo met || echo MISSED)"
stats "bare Win32 window under Wine: resident" kB "${b_mem[@]}"
stats "Windows program under Wine: resident" kB "${v_mem[@]}"
echo "Wine session processes (shared, running before): $(session_rss) kB resident"
if [ -n "$lin" ]; then
  stats "Linux program (Qt, xcb): start-up" ms "${l_up[@]}"
  stats "Linux program (Qt, xcb): resident" kB "${l_mem[@]}"
fi
