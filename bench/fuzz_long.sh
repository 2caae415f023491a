#!/usr/bin/env bash
# The long fuzz runs: every target for at least 1,000,000 inputs, with the
# sanitizers on; prints each target's count. Exit 1 on any crash or report.
#
#   bench/fuzz_long.sh [build-dir] [runs]
#
# build-dir  default build-fuzz/ in the source tree (built by fuzz/build.sh)
# runs       default 1000000
# On two cores this takes about half an hour, most of it the settings-file
# loader (big files are its slow inputs).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-fuzz}
runs=${2:-1000000}
"$src/fuzz/build.sh" "$build"
t0=$(date +%s)
"$src/fuzz/run.sh" "$build" --runs "$runs"
echo "fuzz_long: all targets, $runs inputs each, in $(( $(date +%s) - t0 )) s"
