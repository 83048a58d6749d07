#!/usr/bin/env bash
# Proves qdlctl with the power-management engine data centres run: PowerMan's daemon drives the
# stand-in switch through `qdlctl shell` and the shipped device script, and `pm` switches nodes by
# name; every check is compared with what the stand-in switch itself shows. Prints one line per
# check and exits 1 on any miss. The daemons it starts are stopped by their process ids at the end.
# Usage: scripts/engine-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh engines
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdlctl qdl-switch

work=$(mktemp -d)
source scripts/lib/checks.sh
source scripts/lib/processes.sh
cleanup() {
    stop_processes powermand switch stuck
    rm -rf "$work"
}
trap cleanup EXIT

start_switch switch
start_switch stuck --stuck 3
port=$(cat "$work/switch.port")
# rack1 as it should be; rack2 the same switch with a wrong password; rack3 a switch whose outlet 3
# ignores every change.
printf '[QDL4816]\nIPV4=127.0.0.1\nPort=%s\nUserName=admin\nPass=40617253\n' "$port" >"$work/rack1.ini"
printf '[QDL4816]\nIPV4=127.0.0.1\nPort=%s\nUserName=admin\nPass=wrong\n' "$port" >"$work/rack2.ini"
printf '[QDL4816]\nIPV4=127.0.0.1\nPort=%s\nUserName=admin\nPass=40617253\n' "$(cat "$work/stuck.port")" >"$work/rack3.ini"
chmod 600 "$work"/rack*.ini
qdlctl() { build-rel/cli/qdlctl --config "$work/rack1.ini" "$@"; }

# A free loopback port for the daemon: the kernel's pick for a socket that is closed again.
pm_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/powerman.conf" <<CONF
listen "127.0.0.1:$pm_port"
include "$PWD/cli/powerman/qdl4816.dev"
device "rack1" "qdl4816" "$PWD/build-rel/cli/qdlctl --config $work/rack1.ini shell --off-time 1 |&"
node "node[1-4]" "rack1" "[1-4]"
device "rack2" "qdl4816" "$PWD/build-rel/cli/qdlctl --config $work/rack2.ini shell |&"
node "locked[1-4]" "rack2" "[1-4]"
device "rack3" "qdl4816" "$PWD/build-rel/cli/qdlctl --config $work/rack3.ini shell |&"
node "stuck[1-4]" "rack3" "[1-4]"
CONF
powermand -f -c "$work/powerman.conf" >"$work/powermand.log" 2>&1 &
echo $! >"$work/powermand.pid"
pm() { command pm -h "127.0.0.1:$pm_port" "$@"; }
for _ in $(seq 100); do pm -q 'node[1-4]' >/dev/null 2>&1 && break; sleep 0.1; done

# The stand-in switch shows these four states ("on off on off").
switch_shows() {
    local states
    states=$(qdlctl status --json | grep -o '"on":[a-z]*' | sed 's/"on":true/on/; s/"on":false/off/' | tr '\n' ' ')
    [ "$states" = "$* " ] || { echo "the switch shows $states, not $*"; return 1; }
}
# pm -q NODE shows it in STATE.
pm_query_shows() { # NODE STATE
    pm -q "$1" | tee /dev/stderr | holds -x "$2: *$1"
}
# pm -q lists these nodes as on and these as off.
pm_shows() {
    local query
    query=$(pm -q 'node[1-4]')
    echo "$query"
    grep -qx "on: *$1" <<<"$query" && grep -qx "off: *$2" <<<"$query"
}

qdlctl set 1=on 2=off 3=on 4=off >/dev/null
check "pm -q shows the switch's states" pm_shows 'node\[1,3\]' 'node\[2,4\]'
check "pm -1 node2" pm -1 node2
check "the switch shows outlet 2 on" switch_shows on on on off
check "pm -0 node2" pm -0 node2
check "the switch shows outlet 2 off" switch_shows on off on off
check "pm -c node3" pm -c node3
check "outlet 3 was switched off, then on" sh -c "grep -o 'SetPower+P60=.+P61=.+P62=.' '$work/switch.log' |
    tail -n 2 | sed 's/.*=//' | tr -d '\n' | grep -qx 01"
check "the switch shows outlet 3 on" switch_shows on off on off
check "pm -1 'node[1-4]'" pm -1 'node[1-4]'
check "the switch shows every outlet on" switch_shows on on on on
check "pm -q shows every node on" pm_shows 'node\[1-4\]' ''

# COMMAND fails within SECONDS, saying that it completed with errors, and its telemetry shows the
# shell's reason.
fails_within() { # SECONDS REASON COMMAND...
    local most=$1 reason=$2 started elapsed
    shift 2
    started=$(date +%s%N)
    if "$@" >"$work/failing.txt" 2>&1; then
        cat "$work/failing.txt"
        return 1
    fi
    elapsed=$(( ($(date +%s%N) - started) / 1000000 ))
    cat "$work/failing.txt"
    echo "ended after $elapsed ms"
    grep -q 'completed with errors' "$work/failing.txt" && grep -q "ERROR: .*$reason" "$work/failing.txt" &&
        [ "$elapsed" -le $((most * 1000)) ]
}
check "pm -q of a switch that refuses the password fails at once, with the reason" \
    fails_within 5 'refused the user name or password' pm -T -q locked2
check "pm -q of a switch with a stuck outlet shows its real state" pm_query_shows stuck3 off
# PowerMan 2.3 lets a script end only a query early: a failed change waits for the device timeout.
check "pm -1 of a stuck outlet fails after the device timeout, and pm -T shows why" \
    fails_within 65 'outlet 3 shows OFF, not ON' pm -T -1 stuck3

# A switch that stops answering is an error in pm -q, not a state, and says so at once.
stop_processes switch
query_fails() {
    fails_within 5 'refused the connection' pm -T -q 'node[1-4]' && grep -qx 'on: *' "$work/failing.txt" &&
        grep -qx 'off: *' "$work/failing.txt"
}
check "pm -q reports an error, no node on or off, once the switch stops answering" query_fails

finish_checks "$work/powermand.log" "$work/switch.log"
echo "all engine checks passed"
