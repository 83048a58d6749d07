#!/usr/bin/env bash
# Runs qdl-hostile-clients against the real exporter program and a stand-in switch on loopback,
# measuring the exporter's memory and ending with a stop while clients drip; then 300 kept-alive
# clients against an exporter that may hold 256 descriptors. Every process it
# starts is stopped by its process id.
# Usage: hostile-clients.sh EXPORTER SWITCH HOSTILE-CLIENTS [--memory]
set -euo pipefail
exporter=$1 switch=$2 hostile=$3
shift 3
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$switch" --port 0 --port-file "$work/switch.port" >"$work/switch.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/switch.port" ] && break; sleep 0.1; done
printf '[rack1]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n' "$(cat "$work/switch.port")" >"$work/exporter.ini"
chmod 0600 "$work/exporter.ini"
"$exporter" --config.file "$work/exporter.ini" --web.listen-address 127.0.0.1:0 >"$work/exporter.log" 2>&1 &
exporter_pid=$!
pids+=("$exporter_pid")
for _ in $(seq 100); do grep -q 'msg="Listening"' "$work/exporter.log" && break; sleep 0.1; done
port=$(sed -n 's/.*msg="Listening".* port="\([0-9]*\)".*/\1/p' "$work/exporter.log")
[ -n "$port" ] || { cat "$work/exporter.log"; exit 1; }
status=0
"$hostile" --port "$port" --target rack1 --pid "$exporter_pid" --stop "$@" || status=$?
[ "$status" -eq 0 ] || cat "$work/exporter.log"

# A second exporter that may hold 256 descriptors, and 300 kept-alive clients.
(ulimit -n 256 && exec "$exporter" --config.file "$work/exporter.ini" --web.listen-address 127.0.0.1:0) \
    >"$work/low.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'msg="Listening"' "$work/low.log" && break; sleep 0.1; done
low_port=$(sed -n 's/.*msg="Listening".* port="\([0-9]*\)".*/\1/p' "$work/low.log")
"$hostile" --port "$low_port" --target rack1 --kept-alive 300 || { status=1; cat "$work/low.log"; }
exit "$status"
