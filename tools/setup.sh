#!/usr/bin/env bash
# Installs the Debian packages AT_Vexo needs that are missing, then configures
# and builds it in build/. Runs as root as it stands and elevates with sudo only
# when it must (nothing to install means nothing to elevate).
#
#   tools/setup.sh                  install what is missing, then build
#   tools/setup.sh --deps-only      only install what is missing
#   tools/setup.sh --package-tools  also the tools that make and check the .deb
#   tools/setup.sh --print-packages [--package-tools]   print the list and stop
#   tools/setup.sh --dry-run ...    print the commands instead of running them
#   tools/setup.sh --build-dir DIR  build there instead of build/
set -euo pipefail

# The one list of what the build and its tests need (.ci/run installs it too).
build_packages=(cmake ninja-build g++ make pkg-config qt6-base-dev libgl-dev
  libjpeg62-turbo-dev libgtest-dev libgmock-dev fonts-liberation)
# What makes the .deb and checks it (.ci/stage-package.sh).
package_tools=(dpkg-dev file lintian appstream)

dry_run=0
deps_only=0
print_only=0
with_package_tools=0
build_dir=build

# Prints how to run a command as root: nothing when we are root, "sudo" when
# it is there; fails with a message otherwise.
elevation() {
  if [ "$(id -u)" = 0 ]; then
    return 0
  fi
  if command -v sudo >/dev/null 2>&1; then
    echo sudo
    return 0
  fi
  echo "setup: installing the missing packages needs root and there is no sudo:" \
    "run su -c '$0 --deps-only', then this again" >&2
  return 1
}

run() {
  if [ "$dry_run" = 1 ]; then
    echo "+ $*"
  else
    "$@"
  fi
}

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" = "ii " ]
}

while [ $# -gt 0 ]; do
  case "$1" in
    --dry-run) dry_run=1 ;;
    --deps-only) deps_only=1 ;;
    --print-packages) print_only=1 ;;
    --package-tools) with_package_tools=1 ;;
    --build-dir) build_dir=${2:?--build-dir needs a folder}; shift ;;
    -h|--help) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "setup: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

wanted=("${build_packages[@]}")
[ "$with_package_tools" = 1 ] && wanted+=("${package_tools[@]}")
if [ "$print_only" = 1 ]; then
  echo "${wanted[*]}"
  exit 0
fi

missing=()
for p in "${wanted[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: missing ${missing[*]}"
  as_root=$(elevation)
  run ${as_root:+"$as_root"} apt-get update -q
  run ${as_root:+"$as_root"} apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "setup: every package is installed"
fi

[ "$deps_only" = 1 ] && exit 0
cd "$(dirname "$0")/.."
run cmake -S . -B "$build_dir" -G Ninja
run cmake --build "$build_dir"
