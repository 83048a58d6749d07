#!/usr/bin/env bash
# The exporter's cost and size: one probe against a bare GetPower exchange with the same stand-in
# switch; a probe on a kept-alive connection against one on a fresh connection and against the
# Prometheus blackbox exporter doing the same GetPower with basic authentication (its module
# below); 200 idle connections; then 1000 probes of 10 stand-in switches from 20 concurrent
# clients, with the exporter's resident memory sampled while they run and after; a healthy
# switch's probe beside 300 hanging switches in flight (a second exporter), against the same probe
# on the idle one; 1 100 idle connections and the memory given back after them. Builds in
# build-rel/.
# Usage: scripts/bench-exporter.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh bench
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdl-switch qdl4816_exporter exporter_load

work=$(mktemp -d)
source scripts/lib/processes.sh
switches=$(seq 1 10)
cleanup() {
    stop_processes exporter hanging-exporter hang blackbox $(for n in $switches; do echo "switch$n"; done)
    rm -rf "$work"
}
trap cleanup EXIT

for n in $switches; do
    start_switch "switch$n"
    printf '[rack%s]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n\n' "$n" "$(cat "$work/switch$n.port")" >>"$work/exporter.ini"
done
chmod 0640 "$work/exporter.ini"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
build-rel/exporter/qdl4816_exporter --config.file "$work/exporter.ini" --web.listen-address "127.0.0.1:$port" \
    --log.level warn >"$work/exporter.log" 2>&1 &
echo $! >"$work/exporter.pid"
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$port/metrics" >/dev/null && break; sleep 0.1; done

# A second exporter: 300 switches that take the connection and never answer, and rack1.
start_switch hang --fail hang
printf '[rack1]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n\n' "$(cat "$work/switch1.port")" >"$work/hanging.ini"
for n in $(seq 0 299); do
    printf '[hung%s]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n\n' "$n" "$(cat "$work/hang.port")" >>"$work/hanging.ini"
done
chmod 0640 "$work/hanging.ini"
hanging_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
build-rel/exporter/qdl4816_exporter --config.file "$work/hanging.ini" --web.listen-address "127.0.0.1:$hanging_port" \
    --log.level warn >"$work/hanging-exporter.log" 2>&1 &
echo $! >"$work/hanging-exporter.pid"
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$hanging_port/metrics" >/dev/null && break; sleep 0.1; done

cat >"$work/blackbox.yml" <<YAML
modules:
  getpower:
    prober: http
    timeout: 5s
    http:
      method: GET
      basic_auth:
        username: admin
        password: "40617253"
      valid_status_codes: [200]
YAML
blackbox_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
prometheus-blackbox-exporter --config.file "$work/blackbox.yml" --web.listen-address "127.0.0.1:$blackbox_port" \
    --log.level warn >"$work/blackbox.log" 2>&1 &
echo $! >"$work/blackbox.pid"
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$blackbox_port/metrics" >/dev/null && break; sleep 0.1; done
build-rel/bench/exporter_load "$port" "$(cat "$work/exporter.pid")" "$(cat "$work/switch1.port")" 10 20 1000 \
    "$blackbox_port" "$hanging_port"
