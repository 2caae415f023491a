#!/bin/sh
# The real AT_Vexo.exe under Wine, alone in a folder: it needs no DLL beside
# it nor beyond those Windows ships; it starts, reads its settings file, sends
# "ATI0" on COM1 to the stand-in Vexo when its button is clicked, logs the
# answer, and on the toolbar's exit button closes and writes the settings.
# With a sixth argument, the stand-in is switched on that many seconds late
# and the hourglass button (TB_Wait) is pressed instead: the wait ends on the
# first answer.
#   program-smoke.sh <AT_Vexo.exe> <objdump> <x state dir> <vexo-sim> <pty shim> [late seconds]
# Wine's variables (WINEPREFIX, WINESERVER, ...) come from the environment;
# the wine64 to run is $VEXO_WINE.
set -eu
exe=$1 objdump=$2 xstate=$3 sim=$4 shim=$5 late=${6:-}
DISPLAY=:$(cat "$xstate/display")
export DISPLAY WINEDEBUG=-all
run=$(mktemp -d "${TMPDIR:-/tmp}/vexo-smoke.XXXXXX")
simpid= winepid=
cleanup() {
  [ -n "$winepid" ] && kill "$winepid" 2>/dev/null
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com1"
  rm -rf "$run"
}
trap cleanup EXIT
fail() { echo "program-smoke: $*" >&2; exit 1; }
wait_for() { # <tries of 20 ms> <command...>
  n=$1; shift
  while ! "$@" >/dev/null 2>&1; do
    n=$((n - 1)); [ $n -gt 0 ] || return 1
    sleep 0.02
  done
}

# only DLLs that every Windows has
imports=$(sh "$(dirname "$0")/system-imports.sh" "$exe" "$objdump") || fail "imports a DLL Windows does not ship"
echo "$imports"
# the dialogs' and the shell's DLLs are bound at their first call, not at start
case $imports in *comdlg32* | *shell32*) fail "loads a DLL at start that only a click needs: $imports" ;; esac

mkdir -p "$run/Work"
cp "$exe" "$run/AT_Vexo.exe"
printf 'COM1\r\n' >"$run/Work/ATVexo.000"
"$sim" --no-window --no-stdin ${late:+--power-on-after "$late"} --link "$run/vexo" >"$run/sim.out" 2>&1 &
simpid=$!
wait_for 250 test -e "$run/vexo" || fail "the stand-in did not start"
ln -sfn "$(readlink "$run/vexo")" "$WINEPREFIX/dosdevices/com1"

cd "$run"
# A program run just before (this test's twin) may still be taking its windows
# down: wait until they are gone, so that its window is not taken for ours.
# xdotool gives up when any client's window goes while it walks the tree (the
# other window tests share the display): each search is tried again.
title='"AT" команды "Vexo"'
wait_for 500 sh -c "! xdotool search --name '$title'" || fail "an earlier program's window stays"
LD_PRELOAD=$shim "$VEXO_WINE" AT_Vexo.exe </dev/null >"$run/wine.out" 2>&1 &
winepid=$!
main_window() { # its X window, once a search gets through
  win=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n1)
  [ -n "$win" ]
}
win=
n=1000
until main_window; do
  n=$((n - 1)); [ $n -gt 0 ] || fail "no main window"
  sleep 0.02
done
# the application's own window with the title for the task bar
wait_for 250 xdotool search --name 'ПО "AT_Vexo"' || fail "no application window"

# the start timer has moved it to the corner (Wine draws no frame here) and
# loaded COM1; then "контроль Vexo" (Panel1 0,41 + Panel4 2,49 + 8,16)
wait_for 250 sh -c "xdotool getwindowgeometry '$win' | grep -q 'Position: [0-9],[0-9]*'" ||
  fail "the main window did not move to the corner"
if [ -n "$late" ]; then
  # TB_Wait: ToolBar1 345 + 36, 2 + 15
  xdotool mousemove --window "$win" 381 17 click 1
  expect='ожидание ответа "Vexo" окончено'
else
  xdotool mousemove --window "$win" 60 124 click 1
  expect='ответ  "Vexo" <- Vexo v03.17'
fi
# the log (2, 353 + 2, 18 in Panel1): select all and copy
got=
for _ in $(seq 100); do
  xdotool mousemove --window "$win" 300 560 click 1 key --window "$win" ctrl+a ctrl+c
  got=$(xclip -o -selection clipboard 2>/dev/null || true)
  case $got in *"$expect"*) break ;; esac
  sleep 0.05
done
echo "log:"; echo "$got"
case $got in *'запрос "Vexo" -> "ATI0"'*'ответ  "Vexo" <- Vexo v03.17'*) ;; *) fail "no answer in the log" ;; esac
if [ -n "$late" ]; then
  case $got in *'ожидание ответа "Vexo": "ATI0" повторяется до первого ответа'*'ответ  "Vexo" <- Vexo v03.17'*"$expect"*) ;;
  *) fail "the wait did not end on the answer" ;; esac
fi

printf 'COM9\r\n' >"$run/Work/ATVexo.000"
# the toolbar's exit button (the fourth button: 265 + 36, 2 + 15)
xdotool mousemove --window "$win" 301 17 click 1
wait_for 500 sh -c "! kill -0 $winepid" || fail "the program did not end"
winepid=
[ "$(od -An -c "$run/Work/ATVexo.000" | tr -d ' \n')" = 'COM1\r\n' ] || fail "settings not written: $(od -c "$run/Work/ATVexo.000")"
echo "program-smoke: ok"
