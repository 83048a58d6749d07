#!/usr/bin/env bash
# Times qdlctl as a whole process against the stand-in switch, side by side in one hyperfine run:
# `qdlctl status` against curl sending the same request and against floor_client (a minimal C
# client making the same exchange); `qdlctl on 2`, lock included, against floor_client making its
# GetPower, SetPower and GetPower; and `qdlctl check` against the check_http monitoring plugin
# fetching the same URL with the same credentials. Usage: scripts/bench-cli.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-300}

bash scripts/install-deps.sh bench
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdlctl qdl-switch floor_client

work=$(mktemp -d)
source scripts/lib/processes.sh
trap 'stop_processes switch; rm -rf "$work"' EXIT
start_switch switch
port=$(cat "$work/switch.port")

qdlctl="$PWD/build-rel/cli/qdlctl --host 127.0.0.1 --port $port"
floor="$PWD/build-rel/bench/floor_client $port"
cd "$work"
hyperfine -N --warmup 10 --runs "$runs" --export-csv times.csv \
    -n status "$qdlctl status" \
    -n curl "curl -s -u admin:40617253 http://127.0.0.1:$port/Set.cmd?CMD=GetPower" \
    -n floor "$floor /Set.cmd?CMD=GetPower" \
    -n on "$qdlctl on 2" \
    -n floor3 "$floor /Set.cmd?CMD=GetPower /Set.cmd?CMD=SetPower+P60=0+P61=1+P62=0+P63=0 /Set.cmd?CMD=GetPower" \
    -n check "$qdlctl check -w 1 -c 2" \
    -n check_http "/usr/lib/nagios/plugins/check_http -H 127.0.0.1 -p $port -u /Set.cmd?CMD=GetPower -a admin:40617253 -w 1 -c 2" \
    >/dev/null
awk -F, '{median[$1] = $4} END {
    printf "median: qdlctl status %.2f ms, curl %.2f ms: %.2fx (goal <= 1.0x)\n", median["status"] * 1000, median["curl"] * 1000, median["status"] / median["curl"]
    printf "median: qdlctl status %.2f ms, floor %.2f ms: %.2fx (goal <= 1.3x)\n", median["status"] * 1000, median["floor"] * 1000, median["status"] / median["floor"]
    printf "median: qdlctl on 2 %.2f ms, floor of three exchanges %.2f ms: %.2fx (goal <= 1.3x)\n", median["on"] * 1000, median["floor3"] * 1000, median["on"] / median["floor3"]
    printf "median: qdlctl check %.2f ms, check_http %.2f ms: %.2fx (goal <= 1.0x)\n", median["check"] * 1000, median["check_http"] * 1000, median["check"] / median["check_http"]
}' times.csv
