#!/usr/bin/env bash
# CI stage: the Windows build (mingw-w64 cross build) of the program
# AT_Vexo.exe, the engine and the serial component; their tests under Wine
# against pseudo-terminals (windows on a private Xvfb display); the ZIP.
# .ci/run calls it after the Linux tests (and after its apt-get update); it
# also runs on its own from the repository root: bash .ci/stage-windows.sh
# VEXO_WINEPREFIX=<dir> keeps the Wine prefix there between runs instead of
# making a fresh one in build-win.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
build=build-win
stage_start=$(date +%s)
t=$stage_start
step() {
  local now
  now=$(date +%s)
  echo "windows: $1 in $((now - t)) s"
  t=$now
}

apt-get -o DPkg::Lock::Timeout=900 install -y -qq wine wine64 mingw-w64 g++-mingw-w64-x86-64-posix \
  gcc-mingw-w64-x86-64-posix googletest gcc g++ cmake ninja-build python3 xvfb xdotool xclip >/dev/null
step "packages installed"

cmake -S . -B "$build" -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake -DATVEXO_BUILD_GUI=OFF \
  ${VEXO_WINEPREFIX:+-DVEXO_WINEPREFIX="$VEXO_WINEPREFIX"} >/dev/null
prefix=$(sed -n 's/^VEXO_WINEPREFIX:PATH=//p' "$build/CMakeCache.txt")
server=$(sed -n 's/^VEXO_WINESERVER:FILEPATH=//p' "$build/CMakeCache.txt")
# whatever happens below, no wineserver of ours outlives the stage
trap 'WINEPREFIX="$prefix" "$server" -k 2>/dev/null || true' EXIT
step "configured ($build)"

cmake --build "$build" --target vexo_wine_host vexo_sim_host
step "pty shim, peer and stand-in Vexo built with the host compiler"

# The prefix is made alongside the compiles (its script prints its own time);
# the test programs' lists are read under Wine once it is there.
cmake --build "$build"
step "program, libraries and tests cross-built, prefix $prefix ready"

ctest --test-dir "$build" --no-tests=error --output-on-failure -j2
step "tests run under Wine"

cmake --build "$build" --target package >/dev/null
step "portable ZIP: $(ls "$build"/AT_Vexo-*-win64.zip)"
echo "windows: stage total $(( $(date +%s) - stage_start )) s"
