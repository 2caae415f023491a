#!/bin/sh
# Emulator of the window tests: the test X server's display, then Wine.
#   run-x.sh <state dir> <run-wine.sh> [--ports ...] program.exe [arguments...]
dir=$1
shift
[ -s "$dir/display" ] && DISPLAY=:$(cat "$dir/display") && export DISPLAY
exec "$@"
