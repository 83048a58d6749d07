#!/usr/bin/env bash
# Times `qdlctl status` as a whole process against curl sending the same request, both against
# the stand-in switch on a loopback port, side by side in one hyperfine run.
# Usage: scripts/bench-cli.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-300}

bash scripts/install-deps.sh bench
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdlctl qdl-switch

work=$(mktemp -d)
trap 'kill "${switch_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
build-rel/tools/switch/qdl-switch --port 0 >"$work/switch.log" 2>&1 &
switch_pid=$!
port=""
for _ in $(seq 100); do
    port=$(sed -n '1s|.*http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/switch.log")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "the stand-in switch did not start" >&2; exit 1; }

qdlctl=$PWD/build-rel/cli/qdlctl
cd "$work"
hyperfine -N --warmup 10 --runs "$runs" --export-csv times.csv \
    -n qdlctl "$qdlctl status --host 127.0.0.1 --port $port" \
    -n curl "curl -s -u admin:40617253 http://127.0.0.1:$port/Set.cmd?CMD=GetPower"
awk -F, '$1 == "qdlctl" {q = $4} $1 == "curl" {c = $4} END {
    printf "median: qdlctl status %.2f ms, curl %.2f ms: %.2fx (goal <= 1.0x)\n", q * 1000, c * 1000, q / c }' times.csv
