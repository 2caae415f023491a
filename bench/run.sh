#!/usr/bin/env bash
# Builds (if needed) and runs the benchmarks; each figure is printed beside
# its target.
#
#   bench/run.sh [build-dir] [--quick] [--strict]
#
# build-dir  defaults to build/ in the source tree; configured with Ninja if new
# --quick    shorter runs (a smoke test of the benchmarks, not figures to quote)
# --strict   exit 1 when a target is missed
# JOBS=n     build parallelism (default 2)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build="$src/build"
flags=()
for arg in "$@"; do
  case "$arg" in
    --quick | --strict) flags+=("$arg") ;;
    -*) echo "usage: $0 [build-dir] [--quick] [--strict]" >&2; exit 2 ;;
    *) build=$arg ;;
  esac
done

[ -f "$build/CMakeCache.txt" ] || cmake -S "$src" -B "$build" -G Ninja
cmake --build "$build" -j "${JOBS:-2}" --target bench_serial bench_engine bench_start_vexo bench_start_bare
build=$(cd "$build" && pwd)

export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$build/bench-runtime" # Qt wants a private one
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi

status=0
run() {
  echo "== $(basename "$1")"
  "$@" "${flags[@]}" || status=1
}

# Start-up: spawn -> main window shown, median of 10 runs of each, the
# program against a bare Qt main window, alternating; peak memory beside it.
bench_startup() {
  echo "== start-up"
  local runs=10 vexo=() bare=() vmem=() bmem=() out
  [ "${flags[*]:-}" = "--quick" ] && runs=3
  for _ in $(seq "$runs"); do
    out=$("$build/bench/bench_start_vexo" "$(date +%s%N)") || { status=1; return; }
    vexo+=("${out% *}"); vmem+=("${out#* }")
    out=$("$build/bench/bench_start_bare" "$(date +%s%N)") || { status=1; return; }
    bare+=("${out% *}"); bmem+=("${out#* }")
  done
  median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
  local mv mb ratio
  mv=$(median "${vexo[@]}"); mb=$(median "${bare[@]}")
  ratio=$(awk -v a="$mv" -v b="$mb" 'BEGIN {printf "%.2f", a/b}')
  echo "start -> main window shown, median of $runs: $mv ms; bare Qt main window $mb ms: ${ratio}x (target <= 1.3x)"
  echo "peak memory: $(median "${vmem[@]}") KiB; bare Qt main window $(median "${bmem[@]}") KiB"
  if awk -v r="$ratio" 'BEGIN {exit !(r > 1.3)}'; then
    [[ " ${flags[*]:-} " == *" --strict "* ]] && status=1
    echo "  MISSED"
  fi
}

run "$build/bench/bench_serial"
run "$build/bench/bench_engine"
bench_startup
exit "$status"
