#!/usr/bin/env bash
# Starts AT_Vexo against the stand-in Vexo: a demo working folder whose
# Work/ATVexo.000 names the stand-in's port, so a press gets a real answer.
# Options after the build folder go to vexo-sim (e.g. --power-on-after 5).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift $(($# > 0 ? 1 : 0))
demo="$build/demo"
mkdir -p "$demo/Work"
link=$(mktemp -u /tmp/vexo-demo.XXXXXX)
"$build/bin/vexo-sim" --no-window --no-stdin --link "$link" "$@" >"$demo/vexo-sim.out" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "vexo-sim did not start" >&2; exit 1; }
printf '%s\r\n' "$link" >"$demo/Work/ATVexo.000"
echo "stand-in Vexo on $(head -n1 "$demo/vexo-sim.out") (as $link)"
cd "$demo"
"$build/bin/AT_Vexo"
