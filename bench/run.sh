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
# XVFB_RUN=  (empty) measures start-up on the offscreen platform even where
#            Xvfb is installed
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
targets=(bench_serial bench_scan bench_ports bench_engine bench_wait bench_start_vexo bench_window_bare bench_window_label AT_Vexo)
xvfb=${XVFB_RUN-$(command -v xvfb-run || true)} # XVFB_RUN= forces the offscreen fallback
[ -n "$xvfb" ] && targets+=(bench_startup_x11)
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]}"
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

# Start-up as a user sees it: on a private Xvfb, spawn -> main window mapped,
# medians of 31 interleaved starts of a bare Qt main window, one with a
# Cyrillic label (the baseline) and the program itself; RSS 1 s after the map.
bench_startup() {
  echo "== start-up"
  env -u QT_QPA_PLATFORM "$xvfb" -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    "$build/bench/bench_startup_x11" "${flags[@]}" \
    "$build/bench/bench_window_bare" "$build/bench/bench_window_label" "$build/bin/AT_Vexo" || status=1
}

# Without Xvfb: the offscreen platform, timed in-process from spawn to the main
# window shown and painted, against the label window; peak memory beside it.
bench_startup_offscreen() {
  echo "== start-up (offscreen, in-process: no Xvfb installed)"
  local runs=10 vexo=() base=() vmem=() bmem=() out
  [[ " ${flags[*]:-} " == *" --quick "* ]] && runs=3
  for _ in $(seq "$runs"); do
    out=$("$build/bench/bench_start_vexo" "$(date +%s%N)") || { status=1; return; }
    vexo+=("${out% *}"); vmem+=("${out#* }")
    out=$("$build/bench/bench_window_label" "$(date +%s%N)") || { status=1; return; }
    base+=("${out% *}"); bmem+=("${out#* }")
  done
  median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
  local mv mb ratio vm bm mratio
  mv=$(median "${vexo[@]}"); mb=$(median "${base[@]}")
  vm=$(median "${vmem[@]}"); bm=$(median "${bmem[@]}")
  ratio=$(awk -v a="$mv" -v b="$mb" 'BEGIN {printf "%.2f", a/b}')
  mratio=$(awk -v a="$vm" -v b="$bm" 'BEGIN {printf "%.2f", a/b}')
  echo "start -> main window shown, median of $runs: $mv ms; label window $mb ms: ${ratio}x (target <= 1.3x)"
  echo "peak memory: $vm KiB; label window $bm KiB: ${mratio}x (target <= 1.15x)"
  if awk -v r="$ratio" -v m="$mratio" 'BEGIN {exit !(r > 1.3 || m > 1.15)}'; then
    [[ " ${flags[*]:-} " == *" --strict "* ]] && status=1
    echo "  MISSED"
  fi
}

run "$build/bench/bench_serial"
run "$build/bench/bench_scan"
run "$build/bench/bench_ports"
run "$build/bench/bench_engine"
run "$build/bench/bench_wait"
echo "load average: $(cut -d" " -f1-3 /proc/loadavg)"
if [ -n "$xvfb" ]; then bench_startup; else bench_startup_offscreen; fi
# The Windows program under Wine beside a bare Win32 window, when it has
# been built beside: start-up, memory and exit. WIN_BUILD names its build
# folder.
win_build=${WIN_BUILD:-$src/build-win}
if [ -x "$win_build/bin/AT_Vexo.exe" ] && [ -n "$xvfb" ]; then
  echo "== start-up and exit under Wine"
  runs=10
  [[ " ${flags[*]:-} " == *" --quick "* ]] && runs=3
  cmake --build "$win_build" -j "${JOBS:-2}" --target AT_Vexo bench_bare_window &&
    "$src/bench/start_wine.sh" "$win_build" "$build" "$runs" || status=1
fi
exit "$status"
