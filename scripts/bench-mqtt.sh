#!/usr/bin/env bash
# The MQTT bridge's cost and size: from a command to the state message that confirms it, beside one
# `qdlctl off N` against the same stand-in switch; then the bridge idling with 20 switches polled
# every 10 s: its share of a core over 30 s and its resident memory. The broker is the real
# mosquitto on a free loopback port. Builds in build-rel/.
# Usage: scripts/bench-mqtt.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh bench
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdl-switch qdlctl qdl4816-mqtt mqtt_latency

work=$(mktemp -d)
source scripts/lib/processes.sh
switches=$(seq 1 20)
cleanup() {
    stop_processes bridge broker $(for n in $switches; do echo "switch$n"; done)
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
broker_port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\nset_tcp_nodelay true\n' "$broker_port" >"$work/broker.conf"
[ "$(id -u)" -ne 0 ] || echo 'user root' >>"$work/broker.conf"
/usr/sbin/mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &
echo $! >"$work/broker.pid"

for n in $switches; do start_switch "switch$n"; done
port1=$(cat "$work/switch1.port")
bridge_config() { # POLL-SECONDS
    printf '[mqtt]\nHost=127.0.0.1\nPort=%s\nPollSeconds=%s\n\n' "$broker_port" "$1"
    for n in $switches; do printf '[rack%s]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n\n' "$n" "$(cat "$work/switch$n.port")"; done
}
bridge_config 10 >"$work/bridge.ini"
chmod 0600 "$work/bridge.ini"
build-rel/mqtt/qdl4816-mqtt --config "$work/bridge.ini" --log.level warn >"$work/bridge.log" 2>&1 &
echo $! >"$work/bridge.pid"
pid=$(cat "$work/bridge.pid")

build-rel/bench/mqtt_latency "$broker_port" qdl4816 rack1 2 50
hyperfine --warmup 3 --runs 50 --style basic \
    "build-rel/cli/qdlctl --host 127.0.0.1 --port $port1 --password 40617253 off 3" | grep -E 'Time|Range'

# Idle: 30 s with 20 switches polled every 10 s.
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
start=$(date +%s.%N)
sleep 10
after=$(ticks)
end=$(date +%s.%N)
python3 -c "import sys; t = int(sys.argv[2]) - int(sys.argv[1]); s = float(sys.argv[4]) - float(sys.argv[3]); \
print(f'idle with 20 switches polled every 10 s: {100 * t / 100 / s:.2f} % of a core')" \
    "$before" "$after" "$start" "$end"
echo "resident: $(awk '/VmRSS/ { print $2, $3 }' "/proc/$pid/status"), threads: $(awk '/Threads/ { print $2 }' "/proc/$pid/status")"
