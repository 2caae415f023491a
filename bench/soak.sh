#!/usr/bin/env bash
# Soak: 10,000 exchanges with the stand-in Vexo in one run of the main
# window; prints resident memory, open descriptors and threads at the start
# and the end beside their targets, then the same with the log kept.
#
#   bench/soak.sh [build-dir] [exchanges]
#
# build-dir  default build/ in the source tree (configured with Ninja if new)
# exchanges  default 10000
# Exit 1 when a target is missed.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
n=${2:-10000}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$src" -B "$build" -G Ninja
cmake --build "$build" -j "${JOBS:-2}" --target vexo_soak
build=$(cd "$build" && pwd)
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$build/bench-runtime"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
soak="$build/bench/vexo_soak"
"$soak" --exchanges "$n" 2>&1 | grep -v propagateSizeHints
"$soak" --exchanges "$n" --keep-log 2>&1 | grep -v propagateSizeHints
