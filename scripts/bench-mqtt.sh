#!/usr/bin/env bash
# The MQTT bridge's cost and size, against the real mosquitto on a free loopback port: from a
# command to the state message that confirms it, beside one `qdlctl off N` against the same
# stand-in switch, also with a hanging switch in the configuration and SIGHUP every 0.2 s; the
# bridge idling with 50 switches polled every 10 s (its share of a core over 10 s, its resident
# memory); its peak memory after a 1 MB command and 200 "online" messages from Home Assistant.
# Builds in build-rel/.
# Usage: scripts/bench-mqtt.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh bench
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdl-switch qdlctl qdl4816-mqtt mqtt_latency

work=$(mktemp -d)
source scripts/lib/processes.sh
stand_ins=$(seq 1 10)
cleanup() {
    [ -z "${hup_pid:-}" ] || kill "$hup_pid" 2>/dev/null || true
    stop_processes bridge broker hanging $(for n in $stand_ins; do echo "switch$n"; done)
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
broker_port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\nset_tcp_nodelay true\n' "$broker_port" >"$work/broker.conf"
[ "$(id -u)" -ne 0 ] || echo 'user root' >>"$work/broker.conf"
/usr/sbin/mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &
echo $! >"$work/broker.pid"

for n in $stand_ins; do start_switch "switch$n"; done
start_switch hanging --fail hang
port1=$(cat "$work/switch1.port")
# 50 switches on the 10 stand-ins, and one that never answers.
{
    printf '[mqtt]\nHost=127.0.0.1\nPort=%s\nPollSeconds=10\n\n' "$broker_port"
    for n in $(seq 1 50); do
        printf '[rack%s]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n\n' "$n" "$(cat "$work/switch$(((n - 1) % 10 + 1)).port")"
    done
    printf '[hanging]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n\n' "$(cat "$work/hanging.port")"
} >"$work/bridge.ini"
chmod 0600 "$work/bridge.ini"
build-rel/mqtt/qdl4816-mqtt --config "$work/bridge.ini" --log.level warn >"$work/bridge.log" 2>&1 &
echo $! >"$work/bridge.pid"
pid=$(cat "$work/bridge.pid")
status() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$pid/status"; }

latency() { build-rel/bench/mqtt_latency "$broker_port" qdl4816 rack1 2 50 | sed -n 's/.*median \([0-9.]*\) ms.*/\1/p'; }
quiet=$(latency)
hyperfine -N --warmup 3 --runs 50 --style none --export-json "$work/qdlctl.json" \
    "build-rel/cli/qdlctl --host 127.0.0.1 --port $port1 --password 40617253 off 3" >/dev/null
qdlctl_ms=$(python3 -c 'import json, sys; print("%.2f" % (1000 * json.load(open(sys.argv[1]))["results"][0]["median"]))' "$work/qdlctl.json")
(while kill -HUP "$pid" 2>/dev/null; do sleep 0.2; done) &
hup_pid=$!
reloading=$(latency)
kill "$hup_pid"
hup_pid=
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}')" "$1" "$qdlctl_ms"; }
echo "command to confirmed state over MQTT, median of 50: $quiet ms ($(ratio "$quiet") x one qdlctl off: $qdlctl_ms ms)"
echo "the same with SIGHUP every 0.2 s, beside a hanging switch: $reloading ms ($(ratio "$reloading") x)"

# Idle: 10 s with 51 switches polled every 10 s.
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
start=$(date +%s.%N)
sleep 10
after=$(ticks)
end=$(date +%s.%N)
python3 -c "import sys; t = int(sys.argv[2]) - int(sys.argv[1]); s = float(sys.argv[4]) - float(sys.argv[3]); \
print(f'idle with 50 switches (and a hanging one) polled every 10 s: {100 * t / 100 / s:.2f} % of a core')" \
    "$before" "$after" "$start" "$end"
echo "resident: $(status VmRSS) kB, threads: $(status Threads)"

# A 1 MB command and 200 "online" in a moment: what the bridge holds at its peak.
head -c 1048576 /dev/zero | tr '\0' 'O' >"$work/huge"
mosquitto_pub -p "$broker_port" -t qdl4816/rack1/outlet/1/set -f "$work/huge"
for _ in $(seq 200); do echo online; done | mosquitto_pub -p "$broker_port" -t homeassistant/status -l
timeout 8 mosquitto_sub -p "$broker_port" -t 'homeassistant/switch/qdl4816/rack1_outlet1/config' -t 'homeassistant/status' \
    -v >"$work/seen" 2>/dev/null || true
echo "after a 1 MB command and 200 \"online\": peak resident $(status VmHWM) kB, now $(status VmRSS) kB;" \
    "$(grep -c '^homeassistant/switch' "$work/seen") documents of one entity seen in 8 s (1 retained at subscription)"
