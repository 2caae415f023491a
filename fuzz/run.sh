#!/usr/bin/env bash
# Runs every fuzz target, each from its seed corpus, and prints how many
# inputs it ran. Any crash, sanitizer report or leak fails the run (exit 1).
#
#   fuzz/run.sh <build-dir> --seconds N | --runs N   [target...]
#
# The growing corpus is kept in <build-dir>/fuzz/corpus/<name>; the seeds
# (fuzz/corpus/<name>, and the shipped pictures for the JPEG loader) are
# read only. Two targets run at a time (two cores).
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { echo "usage: $0 <build-dir> --seconds N | --runs N [target...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
case "$2" in
  --seconds) limit=(-max_total_time="$3") ;;
  --runs) limit=(-runs="$3") ;;
  *) echo "usage: $0 <build-dir> --seconds N | --runs N [target...]" >&2; exit 2 ;;
esac
shift 3
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reply workfile cp1251 profile jpeg)

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$build/fuzz/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="suppressions=$src/fuzz/lsan.supp:print_suppressions=0"

run_one() {
  local name=$1 log="$build/fuzz/fuzz_$1.log"
  local corpus="$build/fuzz/corpus/$name" seeds=("$src/fuzz/corpus/$name")
  mkdir -p "$corpus" "$build/fuzz/artifacts/$name"
  if [ "$name" = jpeg ]; then
    seeds=("$build/fuzz/seed-pictures")
    mkdir -p "${seeds[0]}" && cp "$src"/assets/*.jpg "${seeds[0]}/"
  fi
  local t0=$(date +%s)
  (cd "$build/fuzz" && "./fuzz_$name" "${limit[@]}" -print_final_stats=1 -timeout=20 -rss_limit_mb=4096 \
      -artifact_prefix="$build/fuzz/artifacts/$name/" "$corpus" "${seeds[@]}") >"$log" 2>&1
  local rc=$? runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  local secs=$(( $(date +%s) - t0 ))
  if [ $rc -eq 0 ] && ! grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    printf 'fuzz %-9s %10s inputs in %4d s, corpus %d files: clean\n' "$name" "${runs:-?}" "$secs" "$(ls "$corpus" | wc -l)"
    return 0
  fi
  printf 'fuzz %-9s FAILED after %s inputs (exit %d); see %s\n' "$name" "${runs:-?}" $rc "$log"
  grep -m1 -A25 -E 'ERROR:|runtime error:|fuzz_[a-z0-9]+: ' "$log" | head -40
  return 1
}

failed=0
out=$(mktemp -d)
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run_one "${targets[i]}" > "$out/$i" &
  a=$!
  b=
  if [ $((i + 1)) -lt ${#targets[@]} ]; then
    run_one "${targets[i+1]}" > "$out/$((i+1))" &
    b=$!
  fi
  wait $a || failed=1
  [ -z "$b" ] || wait $b || failed=1
  cat "$out/$i"
  [ -z "$b" ] || cat "$out/$((i+1))"
done
rm -rf "$out"
exit $failed
