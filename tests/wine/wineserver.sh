#!/bin/sh
# One wineserver for the whole test run, so that each test program starts in
# milliseconds instead of booting a Wine session of its own.
#   wineserver.sh start|stop <prefix> <wineserver> <wine64>
set -u
action=$1
WINEPREFIX=$2 WINESERVER=$3 WINEDEBUG=-all
WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX WINESERVER WINEDEBUG WINEDLLOVERRIDES
wine=$4
case $action in
start)
  # a server left lingering by the test discovery of the build would refuse
  # a second one
  "$WINESERVER" -k 2>/dev/null
  # its own session: no hang-up reaches it when the runner's terminal goes
  setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1
  # boot the session's services now rather than inside the first test
  "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1
  ;;
stop)
  "$WINESERVER" -k 2>/dev/null
  ;;
*)
  echo "usage: wineserver.sh start|stop <prefix> <wineserver> <wine64>" >&2
  exit 2
  ;;
esac
exit 0
