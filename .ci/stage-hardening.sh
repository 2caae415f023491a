#!/usr/bin/env bash
# CI stage: the whole test suite under AddressSanitizer + UndefinedBehavior-
# Sanitizer (build-asan, clang-14, -O1), the threaded tests under
# ThreadSanitizer (build-tsan), and a short run of every fuzz target from its
# corpus. Any sanitizer report fails the stage. Each step prints its time.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
step_start=$(date +%s)
step() {
  local now
  now=$(date +%s)
  echo "hardening: $1 in $((now - step_start)) s"
  step_start=$now
}

apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev llvm-14 >/dev/null
step "clang-14 and the sanitizer runtimes installed"

export ASAN_SYMBOLIZER_PATH=/usr/bin/llvm-symbolizer-14
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS=second_deadlock_stack=1

# One tree for the suite and the fuzz targets: every object is built once
# with address, undefined and fuzzer coverage instrumentation.
JOBS=2 fuzz/build.sh build-asan --with-tests
step "ASan+UBSan build (suite and fuzz targets)"
ctest --test-dir build-asan --output-on-failure -j2
step "ASan+UBSan test suite"

# Everything that runs threads: the component, the engine's exchange over it,
# and the stand-in Vexo.
serial_tests=(test_serial_errors test_serial_settings test_serial_device test_serial_sharing test_serial_mainloop
  test_serial_portinfo test_commapi_unix
  test_faults_serial test_engine_exchange test_vexo_sim)
cmake -S . -B build-tsan -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j2 --target "${serial_tests[@]}"
step "TSan build (threaded tests)"
ctest --test-dir build-tsan --output-on-failure -j2 -R '^(test_serial_|test_commapi_unix\.|test_faults_serial\.|test_engine_exchange\.|test_vexo_sim\.)'
step "TSan threaded tests"
# The serial suites once more with a busy process per core beside each test
# binary (VEXO_SERIAL_LOAD, tests/serial/BusySiblings.cpp), one binary at a
# time: the port's threads then race as on a build machine full of compiles.
VEXO_SERIAL_LOAD=cores ctest --test-dir build-tsan --output-on-failure -j1 -R '^(test_serial_|test_commapi_unix\.)'
step "TSan serial suites under load"

fuzz/run.sh build-asan --seconds 15
step "fuzz targets, 15 s each (bench/fuzz_long.sh runs them long)"
