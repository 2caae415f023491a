#!/usr/bin/env bash
# tools/setup.sh decides whether to elevate: root runs apt-get itself, a user
# goes through sudo, a user without sudo gets a message and nothing runs, and
# nothing needs root when every package is there. Runs the script in dry-run
# mode on a PATH of stubs (id, dpkg-query, sudo), so no network and no root.
set -uo pipefail
setup=${1:?usage: setup_elevation.sh path/to/setup.sh}
bash=$(command -v bash)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

stubs() { # <dir> <with sudo: 0|1>
  mkdir -p "$1"
  printf '#!/bin/sh\n[ "$1" = -u ] && echo "$FAKE_UID"\n' >"$1/id"
  # reports a package installed when it is named in FAKE_INSTALLED
  cat >"$1/dpkg-query" <<'EOF'
#!/bin/sh
# dpkg-query -W -f=FORMAT PACKAGE
for p in $FAKE_INSTALLED; do
  [ "$p" = "$3" ] && { printf 'ii '; exit 0; }
done
exit 1
EOF
  ln -s "$(command -v dirname)" "$1/dirname"
  [ "$2" = 1 ] && printf '#!/bin/sh\nexit 99\n' >"$1/sudo"
  chmod +x "$1"/*
}
stubs "$work/without-sudo" 0
stubs "$work/with-sudo" 1

all=$("$bash" "$setup" --print-packages)
read -r first rest <<<"$all"

# check <name> <uid> <sudo 0|1> <installed> <expected status> <grep pattern>... [! pattern]
check() {
  local name=$1 uid=$2 sudo=$3 inst=$4 want=$5 out status
  shift 5
  local path="$work/without-sudo"
  [ "$sudo" = 1 ] && path="$work/with-sudo"
  out=$(PATH=$path FAKE_UID=$uid FAKE_INSTALLED=$inst "$bash" "$setup" --dry-run "${ARGS[@]}" 2>&1)
  status=$?
  local ok=1
  [ "$status" = "$want" ] || ok=0
  local negate=0
  for pattern in "$@"; do
    if [ "$pattern" = "!" ]; then negate=1; continue; fi
    if [ "$negate" = 1 ]; then
      grep -qxF -- "$pattern" <<<"$out" && ok=0
    else
      grep -qxF -- "$pattern" <<<"$out" || ok=0
    fi
  done
  if [ "$ok" = 1 ]; then
    echo "ok: $name"
  else
    echo "FAIL: $name (status $status, expected $want); output:"
    sed 's/^/  | /' <<<"$out"
    failures=$((failures + 1))
  fi
}

ARGS=(--deps-only)
install_all="apt-get install -y -q --no-install-recommends $all"
check "root without sudo runs apt-get itself" 0 0 "" 0 \
  "+ apt-get update -q" "+ $install_all"
check "root with sudo still does not use it" 0 1 "" 0 \
  "+ apt-get update -q" "+ $install_all"
check "a user with sudo elevates through it" 1000 1 "" 0 \
  "+ sudo apt-get update -q" "+ sudo $install_all"
check "a user without sudo is told and nothing runs" 1000 0 "" 1 \
  ! "+ apt-get update -q" "+ $install_all"
out=$(PATH=$work/without-sudo FAKE_UID=1000 FAKE_INSTALLED="" "$bash" "$setup" --dry-run --deps-only 2>&1)
if grep -q "needs root and there is no sudo" <<<"$out"; then
  echo "ok: the message says why"
else
  echo "FAIL: no message for a user without sudo: $out"; failures=$((failures + 1))
fi
check "only the missing packages are installed" 1000 1 "$rest" 0 \
  "+ sudo apt-get install -y -q --no-install-recommends $first"
check "nothing missing needs no root and no sudo" 1000 0 "$all" 0 \
  "setup: every package is installed" ! "+ apt-get update -q"

ARGS=()
check "the default run builds after installing" 0 0 "" 0 \
  "+ $install_all" "+ cmake -S . -B build -G Ninja" "+ cmake --build build"
ARGS=(--package-tools --deps-only)
tools=$("$bash" "$setup" --print-packages --package-tools)
check "--package-tools adds the package tools" 0 0 "$all" 0 \
  "+ apt-get install -y -q --no-install-recommends ${tools#"$all "}"

[ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
