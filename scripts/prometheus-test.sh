#!/usr/bin/env bash
# Proves the exporter and `qdlctl metrics` with the real Prometheus and node exporter: Prometheus
# scrapes qdl4816_exporter every second with the README's relabelling against two stand-in
# switches and a hanging one, its HTTP API shows what the stand-ins show, the switch-down rule
# fires (with a short `for:` in the test's copy), and the node exporter's textfile collector reads
# the file `qdlctl metrics --output` writes. A switch answering in 100 ms is up under scrape
# timeouts of 1 s, 1.4 s and 1.5 s, and 200 targets scraped every second with a 1 s timeout are
# never reported down falsely. Also: unknown targets reach nothing, a configuration file others
# may read is refused, TLS and basic authentication, and the hostile clients against the release
# build with its memory measured. Prints one line per check; every process it starts is stopped by
# its process id.
# Usage: scripts/prometheus-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh engines
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdlctl qdl-switch qdl4816_exporter qdl-hostile-clients

work=$(mktemp -d)
source scripts/lib/checks.sh
source scripts/lib/processes.sh
cleanup() {
    stop_processes prometheus node exporter tls switch1 switch2 hang idle slow many
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
# Waits up to 20 s for COMMAND to succeed.
eventually() { for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done; "$@"; }

start_switch switch1
start_switch switch2
start_switch hang --fail hang
# A switch the configuration does not name: nothing may ever reach it through the exporter.
start_switch idle
start_switch slow --fail slow:100
start_switch many
port1=$(cat "$work/switch1.port")
port2=$(cat "$work/switch2.port")
qdlctl() { build-rel/cli/qdlctl --host 127.0.0.1 --password 40617253 "$@"; }
qdlctl --port "$port1" set 1=on 3=on >/dev/null

cat >"$work/exporter.ini" <<INI
[rack1]
IPV4=127.0.0.1
Port=$port1
UserName=admin
Pass=40617253
Outlet3=web-server

[rack2]
IPV4=127.0.0.1
Port=$port2
UserName=admin
Pass=40617253

[hung]
IPV4=127.0.0.1
Port=$(cat "$work/hang.port")
UserName=admin
Pass=40617253

[slow]
IPV4=127.0.0.1
Port=$(cat "$work/slow.port")
Pass=40617253
INI
many_targets=()
for n in $(seq 200); do
    printf '[many%s]\nIPV4=127.0.0.1\nPort=%s\nPass=40617253\n' "$n" "$(cat "$work/many.port")" >>"$work/exporter.ini"
    many_targets+=("many$n")
done
chmod 0640 "$work/exporter.ini"

exporter_port=$(free_port)
build-rel/exporter/qdl4816_exporter --config.file "$work/exporter.ini" \
    --web.listen-address "127.0.0.1:$exporter_port" >"$work/exporter.log" 2>&1 &
echo $! >"$work/exporter.pid"
eventually curl -sf "http://127.0.0.1:$exporter_port/metrics"

# The scrape configuration of the README, every second; the hanging switch with a 2 s timeout.
sed 's/for: 5m/for: 2s/' prometheus/qdl4816.rules.yml >"$work/rules.yml"
prometheus_port=$(free_port)
cat >"$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files:
  - $work/rules.yml
scrape_configs:
  - job_name: qdl4816
    scrape_timeout: 1s
    metrics_path: /probe
    static_configs:
      - targets: [rack1, rack2]
    relabel_configs: &to-the-exporter
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: 127.0.0.1:$exporter_port
  - job_name: qdl4816-hung
    scrape_interval: 3s
    scrape_timeout: 2s
    metrics_path: /probe
    static_configs:
      - targets: [hung]
    relabel_configs: *to-the-exporter
  - job_name: qdl4816-slow-1s
    scrape_timeout: 1s
    metrics_path: /probe
    static_configs:
      - targets: [slow]
    relabel_configs: *to-the-exporter
  - job_name: qdl4816-slow-1.4s
    scrape_interval: 2s
    scrape_timeout: 1400ms
    metrics_path: /probe
    static_configs:
      - targets: [slow]
    relabel_configs: *to-the-exporter
  - job_name: qdl4816-slow-1.5s
    scrape_interval: 2s
    scrape_timeout: 1500ms
    metrics_path: /probe
    static_configs:
      - targets: [slow]
    relabel_configs: *to-the-exporter
  - job_name: qdl4816-many
    scrape_timeout: 1s
    metrics_path: /probe
    static_configs:
      - targets: [$(IFS=,; echo "${many_targets[*]}")]
    relabel_configs: *to-the-exporter
YAML
prometheus --config.file "$work/prometheus.yml" --storage.tsdb.path "$work/tsdb" \
    --web.listen-address "127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
echo $! >"$work/prometheus.pid"
eventually curl -sf "http://127.0.0.1:$prometheus_port/-/ready"

# The value of a PromQL query's single result, or nothing.
query() {
    curl -sf --data-urlencode "query=$1" "http://127.0.0.1:$prometheus_port/api/v1/query" |
        python3 -c 'import json, sys; r = json.load(sys.stdin)["data"]["result"]; print(r[0]["value"][1] if len(r) == 1 else ("none" if not r else len(r)))'
}
shows() { [ "$(query "$1")" = "$2" ]; } # QUERY VALUE
alert_firing() {
    curl -sf "http://127.0.0.1:$prometheus_port/api/v1/alerts" |
        python3 -c 'import json, sys; a = json.load(sys.stdin)["data"]["alerts"]; sys.exit(0 if any(x["labels"]["alertname"] == sys.argv[1] and x["labels"].get("instance") == sys.argv[2] and x["state"] == "firing" for x in a) else 1)' "$1" "$2"
}
outlets_as_shown() {
    shows 'count(qdl4816_outlet_on{instance="rack1"})' 4 && shows 'count(qdl4816_outlet_on{instance="rack2"})' 4 &&
        shows 'qdl4816_outlet_on{instance="rack1",outlet="1"}' 1 && shows 'qdl4816_outlet_on{instance="rack1",outlet="2"}' 0 &&
        shows 'qdl4816_outlet_on{instance="rack1",outlet="3",name="web-server"}' 1 &&
        shows 'sum(qdl4816_outlet_on{instance="rack2"})' 0
}
check "Prometheus shows four outlets per switch as the stand-ins show them" eventually outlets_as_shown
qdlctl --port "$port2" on 3 >/dev/null
check "after qdlctl on 3 the next scrape shows it" eventually shows 'qdl4816_outlet_on{instance="rack2",outlet="3"}' 1
check "a hanging switch answers within the 2 s scrape timeout as down, kind timeout" eventually \
    shows 'qdl4816_probe_failure{instance="hung",kind="timeout"} and on(instance) up{instance="hung"} == 1' 1
stop_processes switch2
switch_down() { shows 'qdl4816_up{instance="rack2"}' 0 && shows 'count(qdl4816_outlet_on{instance="rack2"})' none; }
check "a stopped switch is qdl4816_up 0 with no outlet series" eventually switch_down
check "the switch-down rule fires for it" eventually alert_firing QDL4816SwitchDown rack2

# A switch that answers in 100 ms is up under short scrape timeouts: 8 scrapes each, none down.
slow_up() { # JOB
    [ "$(query "count_over_time(qdl4816_up{job=\"$1\"}[1m])")" -ge 8 ] 2>/dev/null &&
        shows "min_over_time(qdl4816_up{job=\"$1\"}[1m])" 1 && shows "min_over_time(up{job=\"$1\"}[1m])" 1
}
for job in qdl4816-slow-1s qdl4816-slow-1.4s qdl4816-slow-1.5s; do
    check "a switch answering in 100 ms is up in every scrape of $job" eventually slow_up "$job"
done
# 200 targets every second with a 1 s timeout: once 20 s of them are in, no sample of qdl4816_up
# or of Prometheus's own up is 0 (the samples' count less their sum counts the zeros).
many_scraped() { [ "$(query 'sum(count_over_time(qdl4816_up{job="qdl4816-many"}[30s]))')" -ge 4000 ] 2>/dev/null; }
zeros() { query "sum(count_over_time($1{job=\"qdl4816-many\"}[30s])) - sum(sum_over_time($1{job=\"qdl4816-many\"}[30s]))"; }
eventually many_scraped || true
echo "200 targets: $(query 'sum(count_over_time(qdl4816_up{job="qdl4816-many"}[30s]))') scrapes in 30 s, $(zeros qdl4816_up) said down, $(zeros up) failed"
check "200 targets scraped every second with a 1 s timeout: none falsely down" eval \
    'many_scraped && [ "$(zeros qdl4816_up)" = 0 ] && [ "$(zeros up)" = 0 ]'

# What the exporter serves passes Prometheus's own parser: its metrics and a probe of each kind.
exposition_clean() {
    local path
    for path in /metrics "/probe?target=rack1&schedule=1" "/probe?target=hung" "/probe?target=rack2"; do
        curl -sf -H 'X-Prometheus-Scrape-Timeout-Seconds: 2' "http://127.0.0.1:$exporter_port$path" | promtool check metrics ||
            return 1
    done
}
check "promtool accepts /metrics and probes of a switch up, hanging and stopped" exposition_clean

# Names the configuration does not hold reach nothing.
idle_port=$(cat "$work/idle.port")
refused_targets() {
    local target
    for target in nowhere 127.0.0.1 "127.0.0.1:$idle_port" "localhost:$idle_port" "" \
        "$(head -c 102400 /dev/zero | tr '\0' a)"; do
        case "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$exporter_port/probe?target=$target")" in
        400) ;;
        431) [ ${#target} -gt 16384 ] || return 1 ;; # a request line past the limit on the head
        *) return 1 ;;
        esac
    done
}
check "unknown targets, an address and an empty name are answered 400, a 100 KB query 431" refused_targets
check "... and the switch at the address given was never reached" eval '! grep -q "GET " "$work/idle.log"'

# The node exporter's textfile collector reads what qdlctl metrics writes.
mkdir -p "$work/textfile"
node_port=$(free_port)
prometheus-node-exporter --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory "$work/textfile" --web.listen-address "127.0.0.1:$node_port" >"$work/node.log" 2>&1 &
echo $! >"$work/node.pid"
textfile_read() {
    qdlctl --port "$port1" metrics --switch-name rack1 --output "$work/textfile/qdl4816-rack1.prom" &&
        [ "$(stat -c %a "$work/textfile/qdl4816-rack1.prom")" = 644 ] &&
        curl -sf "http://127.0.0.1:$node_port/metrics" | holds -x 'qdl4816_outlet_on{outlet="1",switch="rack1"} 1'
}
check "the node exporter reads the file qdlctl metrics writes" eventually textfile_read
down_written() {
    ! qdlctl --port "$port2" metrics --switch-name rack2 --output "$work/textfile/qdl4816-rack2.prom" &&
        curl -sf "http://127.0.0.1:$node_port/metrics" | holds -x 'qdl4816_up{switch="rack2"} 0'
}
check "a switch that cannot be read is written as qdl4816_up 0, and qdlctl fails" eventually down_written

# A configuration file others may read is refused, naming its mode.
cp "$work/exporter.ini" "$work/open.ini"
chmod 0644 "$work/open.ini"
check "a configuration file readable by others is refused, naming its mode" eval \
    '! build-rel/exporter/qdl4816_exporter --config.file "$work/open.ini" --web.listen-address 127.0.0.1:0 2>"$work/open.log"; grep -q "mode 0644" "$work/open.log"'

# TLS and basic authentication in the exporter toolkit's format.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$work/tls.key" -out "$work/tls.crt" >/dev/null 2>&1
hash=$(python3 -W ignore -c 'import crypt; print(crypt.crypt("s3cret", crypt.mksalt(crypt.METHOD_BLOWFISH)))')
printf 'tls_server_config:\n  cert_file: %s\n  key_file: %s\nbasic_auth_users:\n  prometheus: %s\n' \
    "$work/tls.crt" "$work/tls.key" "$hash" >"$work/web.yml"
tls_port=$(free_port)
build-rel/exporter/qdl4816_exporter --config.file "$work/exporter.ini" --web.config.file "$work/web.yml" \
    --web.listen-address "127.0.0.1:$tls_port" >"$work/tls.log" 2>&1 &
echo $! >"$work/tls.pid"
https() { curl -s -o /dev/null -w '%{http_code}' --cacert "$work/tls.crt" "$@" "https://127.0.0.1:$tls_port/probe?target=rack1"; }
check "over TLS the right password is served" eventually eval '[ "$(https -u prometheus:s3cret)" = 200 ]'
check "a wrong password gets 401" eval '[ "$(https -u prometheus:wrong)" = 401 ]'
check "no password gets 401" eval '[ "$(https)" = 401 ]'
# 1 100 clients from other addresses that never shake hands take every place: Prometheus's
# scrapes over TLS with a password still come in, each within a second.
tls_siege() {
    local scrape slow=0 time
    build-rel/tests/support/qdl-hostile-clients --port "$tls_port" --target rack1 --siege-for 15 >"$work/siege.out" &
    local siege=$!
    for _ in $(seq 100); do grep -q holding "$work/siege.out" && break; sleep 0.1; done
    for scrape in 1 2 3 4 5 6; do
        time=$(curl -s -o /dev/null -w '%{http_code} %{time_total}' --max-time 5 --cacert "$work/tls.crt" \
            -u prometheus:s3cret "https://127.0.0.1:$tls_port/probe?target=rack1")
        echo "scrape $scrape: $time"
        [ "${time%% *}" = 200 ] && awk -v t="${time#* }" 'BEGIN { exit !(t < 1) }' || slow=$((slow + 1))
    done
    kill "$siege" 2>/dev/null || true
    wait "$siege" 2>/dev/null || true
    [ "$slow" -eq 0 ]
}
check "with 1 100 quiet clients from other addresses, 6 of 6 scrapes over TLS with a password within 1 s" tls_siege
plain_on_tls() {
    [[ "$(curl -s "http://127.0.0.1:$tls_port/metrics")" == *'Client sent an HTTP request to an HTTPS server.'* ]]
}
check "plain HTTP on the TLS port is answered 400, saying why" plain_on_tls
# The next handshake serves the certificate whose common name is NAME (read whole, never cut by
# an early grep: pipefail would count the cut as a failure).
serves() { # NAME
    local subject
    subject=$(echo | openssl s_client -connect "127.0.0.1:$tls_port" 2>/dev/null | openssl x509 -noout -subject)
    [[ "$subject" =~ CN\ *=\ *$1$ ]]
}
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=renewed -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$work/renewed.key" -out "$work/renewed.crt" >/dev/null 2>&1
cp "$work/tls.crt" "$work/first.crt"
cp "$work/tls.key" "$work/first.key"
cat "$work/renewed.crt" >"$work/tls.crt"
cat "$work/renewed.key" >"$work/tls.key"
check "a renewed certificate is served at the next handshake" serves renewed
echo broken >"$work/tls.crt"
check "a broken new certificate keeps the old pair, and the log says why" eval \
    'serves renewed && grep -q "the old pair stays" "$work/tls.log"'
cat "$work/first.crt" >"$work/tls.crt"
cat "$work/first.key" >"$work/tls.key"
check "the first certificate, put back, is served again" serves 127.0.0.1

check "the release build holds against hostile clients, and its memory returns after each flood" \
    tests/exporter/hostile-clients.sh build-rel/exporter/qdl4816_exporter build-rel/tools/switch/qdl-switch \
    build-rel/tests/support/qdl-hostile-clients --resets --siege --memory

finish_checks "$work/exporter.log" "$work/prometheus.log" "$work/node.log" "$work/tls.log"
echo "all Prometheus checks passed"
