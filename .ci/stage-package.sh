#!/usr/bin/env bash
# CI stage: builds the .deb from the Linux build tree (build/, which .ci/run
# has built and tested; configured here when missing) and checks it: lintian
# without errors or warnings, and the AppStream metadata valid on its own and
# against the package's file tree (desktop entry, icon). .ci/run calls it after
# its apt-get update; it also runs on its own from the repository root:
# bash .ci/stage-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
build=build
t=$(date +%s)
step() {
  local now
  now=$(date +%s)
  echo "package: $1 in $((now - t)) s"
  t=$now
}

packages=$(tools/setup.sh --print-packages --package-tools)
# shellcheck disable=SC2086 # one package name per word
apt-get install -y -qq --no-install-recommends $packages >/dev/null
step "packaging tools installed"

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
rm -f "$build"/at-vexo_*.deb
cmake --build "$build" --target package >/dev/null
debs=("$build"/at-vexo_*.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package: no single .deb in $build" >&2
  exit 1
fi
deb=${debs[0]}
step "built $deb"

# Information tags are listed but do not fail the stage; the one override
# (packaging/lintian-overrides) says why it is there.
lintian --display-info --fail-on error,warning "$deb"
step "lintian"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
metainfo=("$tree"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || { echo "package: no AppStream metainfo in $deb" >&2; exit 1; }
appstreamcli validate --no-net --strict "${metainfo[@]}"
appstreamcli validate-tree --no-net --strict "$tree"
step "appstreamcli validate"
