#!/usr/bin/env bash
# Builds the fuzz targets with clang-14, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer: the whole program tree is compiled with the
# sanitizers and coverage (-O1), the targets link libFuzzer.
#
#   fuzz/build.sh [build-dir] [--with-tests]
#
# build-dir     default build-fuzz/ in the source tree
# --with-tests  also build the test suite in the same tree (CI runs it there
#               under the sanitizers); without it only the fuzz targets
# JOBS=n        build parallelism (default 2)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build="$src/build-fuzz"
tests=OFF
for arg in "$@"; do
  case "$arg" in
    --with-tests) tests=ON ;;
    -*) echo "usage: $0 [build-dir] [--with-tests]" >&2; exit 2 ;;
    *) build=$arg ;;
  esac
done
san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -fsanitize=fuzzer-no-link"
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
  -DCMAKE_C_FLAGS="$san" -DCMAKE_CXX_FLAGS="$san" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DATVEXO_BUILD_TESTS=$tests \
  -DCMAKE_PROJECT_AT_Vexo_INCLUDE="$src/fuzz/attach.cmake" >/dev/null
if [ "$tests" = ON ]; then
  cmake --build "$build" -j "${JOBS:-2}"
fi
cmake --build "$build" -j "${JOBS:-2}" --target fuzzers
