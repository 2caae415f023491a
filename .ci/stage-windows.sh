#!/usr/bin/env bash
# CI stage: the Windows builds (mingw-w64 cross builds) of the program
# AT_Vexo.exe, the engine and the serial component; their tests under Wine
# against pseudo-terminals (windows on a private Xvfb display); the ZIPs.
# 64-bit (build-win): everything, all tests. 32-bit (build-win32, the
# portable ZIP's program): what matters to a user (the program's smoke and
# late-power runs, the exchange, the windows at 96 and 144 DPI and on short
# screens, the keyboard) under Wine's 32-bit loader, where the kernel runs
# 32-bit programs.
# .ci/run calls it after the Linux tests (and after its apt-get update); it
# also runs on its own from the repository root: bash .ci/stage-windows.sh
# VEXO_WINEPREFIX=<dir> keeps the 64-bit build's Wine prefix there between
# runs instead of making a fresh one in build-win.
# VEXO_I386=auto (the default) takes the 32-bit tests' branch where the kernel
# runs i386 programs (tests/wine/runs-i386.sh) and the other branch where it
# does not; VEXO_I386=no takes the other branch anyway (the 32-bit program is
# built, its tests are left out), VEXO_I386=yes insists on the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
build=build-win build32=build-win32
stage_start=$(date +%s)
t=$stage_start
step() {
  local now
  now=$(date +%s)
  echo "windows: $1 in $((now - t)) s"
  t=$now
}
apt_get() { apt-get -o DPkg::Lock::Timeout=900 "$@"; }

apt_get install -y -qq wine wine64 mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix googletest gcc g++ cmake ninja-build python3 xvfb \
  xdotool xclip >/dev/null
step "packages installed"

case ${VEXO_I386:-auto} in
auto) if sh tests/wine/runs-i386.sh; then i386=yes; else i386=no; fi ;;
yes | no) i386=$VEXO_I386 ;;
*) echo "windows: VEXO_I386 is auto, yes or no, not '$VEXO_I386'" >&2; exit 2 ;;
esac
echo "windows: 32-bit tests: $i386 (VEXO_I386=${VEXO_I386:-auto})"
if [ $i386 = yes ]; then
  sh tests/wine/runs-i386.sh ||
    { echo "windows: VEXO_I386=yes, but this kernel does not run 32-bit (i386) programs" >&2; exit 1; }
  # wine32 and the 32-bit pty shim's compiler: the i386 architecture first.
  # Before anything runs under Wine, as the install brings newer versions of
  # shared libraries that Wine uses.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_get update -qq
  fi
  apt_get install -y -qq --no-install-recommends wine32:i386 gcc-multilib >/dev/null
  step "wine32 and gcc-multilib installed"
fi

cmake -S . -B "$build" -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake -DATVEXO_BUILD_GUI=OFF \
  ${VEXO_WINEPREFIX:+-DVEXO_WINEPREFIX="$VEXO_WINEPREFIX"} >/dev/null
cache() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
prefix=$(cache "$build" VEXO_WINEPREFIX) server=$(cache "$build" VEXO_WINESERVER)
prefix32= build32_pid=
# whatever happens below, no build or wineserver of ours outlives the stage
trap '[ -z "$build32_pid" ] || kill "$build32_pid" 2>/dev/null || true
      WINEPREFIX="$prefix" "$server" -k 2>/dev/null || true
      [ -z "$prefix32" ] || WINEPREFIX="$prefix32" "$server" -k 2>/dev/null || true' EXIT
step "configured ($build)"

cmake --build "$build" --target vexo_wine_host vexo_sim_host
step "pty shim, peer and stand-in Vexo built with the host compiler"

# The prefix is made alongside the compiles (its script prints its own time);
# the test programs' lists are read under Wine once it is there.
cmake --build "$build"
step "program, libraries and tests cross-built, prefix $prefix ready"

# The 32-bit build compiles while the 64-bit tests run: those mostly wait for
# Wine and the display, and the window tests are made to stand a busy machine.
if [ $i386 = yes ]; then
  cmake -S . -B "$build32" -G Ninja --toolchain cmake/mingw-w64-i686.cmake -DATVEXO_BUILD_GUI=OFF >/dev/null
  prefix32=$(cache "$build32" VEXO_WINEPREFIX)
  targets32=(AT_Vexo test_win32_exchange test_win32_forms vexo_wine_prefix vexo_wine_host vexo_sim_host)
else
  cmake -S . -B "$build32" -G Ninja --toolchain cmake/mingw-w64-i686.cmake -DATVEXO_BUILD_GUI=OFF \
    -DATVEXO_BUILD_TESTS=OFF >/dev/null
  targets32=(AT_Vexo)
fi
cmake --build "$build32" --target "${targets32[@]}" >"$build32/ci-build.log" 2>&1 &
build32_pid=$!
ctest --test-dir "$build" --no-tests=error --output-on-failure -j2
step "tests run under Wine, the 32-bit build alongside"
if ! wait $build32_pid; then
  cat "$build32/ci-build.log"
  echo "windows: the 32-bit build failed" >&2
  exit 1
fi
build32_pid=
step "32-bit program${prefix32:+ and its window tests} cross-built${prefix32:+, 32-bit prefix $prefix32 ready}"

if [ $i386 = yes ]; then
  # the fixtures (wineserver, display) come with the tests that need them
  ctest --test-dir "$build32" --no-tests=error --output-on-failure -j2 \
    -R '^(win32\.program\.(smoke|late_power)|win32\.forms\.dpi144|win32\.fit\..*|test_win32_(exchange|forms)\..*)$'
  step "32-bit tests run under Wine"
else
  if [ "${VEXO_I386:-auto}" = no ]; then
    why="VEXO_I386=no"
  else
    why="this machine's kernel does not run 32-bit (i386) programs, so Wine's 32-bit loader cannot start"
  fi
  echo "windows: NOTE: $why: the 32-bit program's tests under Wine are LEFT OUT here"
fi
exe32=$build32/bin/AT_Vexo.exe
i686-w64-mingw32-objdump -f "$exe32" | grep -q 'file format pei-i386' ||
  { echo "windows: $exe32 is not a 32-bit program" >&2; exit 1; }
echo "windows: 32-bit AT_Vexo.exe $(sh tests/win32/system-imports.sh "$exe32" i686-w64-mingw32-objdump)"

rm -f "$build"/AT_Vexo-*.zip "$build32"/AT_Vexo-*.zip
cmake --build "$build32" --target package >/dev/null
cmake --build "$build" --target package >/dev/null
step "ZIPs: $(ls "$build32"/AT_Vexo-*-win32.zip) (the portable one), $(ls "$build"/AT_Vexo-*-win64.zip)"
echo "windows: stage total $(( $(date +%s) - stage_start )) s"
