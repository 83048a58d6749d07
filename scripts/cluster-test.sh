#!/usr/bin/env bash
# Proves fence_qdl4816 with the real cluster software, corosync and Pacemaker started without
# systemd, and Pacemaker's own tools driving the agent. Prints one line per check; exits 1 on any
# miss. Two clusters, one after the other:
# - single: one node on 127.0.0.1 and the stand-in switch on a free loopback port;
# - three: three nodes, each in its own namespaces, on a bridge that exists only inside the test,
#   each powered by one outlet of the stand-in switch (scripts/lib/three-nodes.sh).
# Every daemon it starts is stopped by its process id at the end, also on failure; every
# namespace, cluster state file and folder it made, and the /usr/sbin link (when it made it), is
# removed.
# Usage: scripts/cluster-test.sh [single|three|both] [RACE_ROUNDS]   (as root)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-both}
case $mode in
both)
    bash "$0" single "${2:-20}"
    exec bash "$0" three "${2:-10}"
    ;;
single | three) ;;
*) echo "usage: cluster-test.sh [single|three|both] [RACE_ROUNDS]" >&2; exit 2 ;;
esac
rounds=${2:-20}

[ "$(id -u)" -eq 0 ] || { echo "cluster-test.sh starts corosync and Pacemaker: run it as root" >&2; exit 2; }
if pgrep -x corosync >/dev/null || pgrep -x pacemakerd >/dev/null ||
    [ -n "$(ls -A /var/lib/pacemaker/cib 2>/dev/null)" ]; then
    echo "this machine has a cluster or a cluster configuration; cluster-test.sh will not touch it" >&2
    exit 2
fi

bash scripts/install-deps.sh cluster
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdlctl qdl-switch

work=$(mktemp -d)
state_dirs=(/var/lib/pacemaker/cib /var/lib/pacemaker/pengine /var/lib/pacemaker/blackbox /var/lib/corosync)
find "${state_dirs[@]}" -type f 2>/dev/null | sort >"$work/state-before"
agent=/usr/sbin/fence_qdl4816
made_link=""

source scripts/lib/checks.sh
source scripts/lib/processes.sh
fails() { ! "$@"; }

if [ "$mode" = three ]; then
    source scripts/lib/three-nodes.sh
    trap 'set +e; lab_down; rm -rf "$work"' EXIT
    three_node_checks "$rounds"
    finish_checks "$work/race.log" "$work/power.log" "$work/lab-switch.log" "$work"/node*/log/pacemaker.log
    echo "all three-node cluster checks passed"
    exit 0
fi

cleanup() {
    set +e
    stop_processes pacemaker corosync switch
    find "${state_dirs[@]}" -type f 2>/dev/null | sort | comm -13 "$work/state-before" - | xargs -r rm -f
    [ -n "$made_link" ] && rm -f "$agent"
    rm -rf "$work"
}
trap cleanup EXIT

if [ ! -e "$agent" ]; then
    ln -s "$PWD/build-rel/cli/qdlctl" "$agent"
    made_link=yes
fi

start_switch switch
port=$(cat "$work/switch.port")
qdlctl() { build-rel/cli/qdlctl --host 127.0.0.1 --port "$port" --password 40617253 "$@"; }

cat >"$work/corosync.conf" <<CONF
totem {
    version: 2
    cluster_name: qdltest
    transport: knet
    crypto_cipher: none
    crypto_hash: none
}
nodelist {
    node {
        ring0_addr: 127.0.0.1
        name: node1
        nodeid: 1
    }
}
quorum {
    provider: corosync_votequorum
}
logging {
    to_logfile: yes
    logfile: $work/corosync.log
    to_syslog: no
    to_stderr: no
}
CONF
corosync -f -c "$work/corosync.conf" >"$work/corosync.out" 2>&1 &
echo $! >"$work/corosync.pid"
for _ in $(seq 60); do corosync-quorumtool -s >/dev/null 2>&1 && break; sleep 0.5; done
PCMK_logfile=$work/pacemaker.log pacemakerd -f >"$work/pacemaker.out" 2>&1 &
echo $! >"$work/pacemaker.pid"
for _ in $(seq 120); do crm_mon -1 2>/dev/null | holds 'Online: \[ node1 \]' && break; sleep 0.5; done

# Outlet N shows STATE (on or off) on the stand-in switch.
shows() { qdlctl status --json | holds "{\"outlet\":$1,\"on\":$([ "$2" = on ] && echo true || echo false)}"; }
# Waits until Pacemaker runs the named stonith devices.
started() {
    for _ in $(seq 60); do
        local running=yes
        for device in "$@"; do
            crm_mon -1 | holds "$device.*Started" || running=""
        done
        [ -n "$running" ] && return 0
        sleep 0.5
    done
    return 1
}
validate() { stonith_admin --validate --agent fence_qdl4816 --option ip=127.0.0.1 "$@"; }

check "the cluster runs with node1 online" crm_mon -1
check "stonith_admin --list-installed lists the agent" eval "stonith_admin --list-installed | holds -w fence_qdl4816"
check "validate passes" validate --option ipport="$port" --option password=40617253 --option plug=3,4
check "validate fails without a password" fails validate --option ipport="$port" --option plug=2
check "validate fails for outlet 5" fails validate --option ipport="$port" --option password=x --option plug=5
check "validate fails for port 99999" fails validate --option ipport=99999 --option password=x --option plug=2
check "validate fails without an address" fails stonith_admin --validate --agent fence_qdl4816 --option password=x

check "pcs creates a device with pcmk_host_map" pcs stonith create qdl fence_qdl4816 ip=127.0.0.1 \
    ipport="$port" username=admin password=40617253 pcmk_host_map="node2:2;node3:3;node4:3,4"
check "pcs takes the old parameter names" pcs stonith create old fence_qdl4816 ipaddr=127.0.0.1 \
    ipport="$port" login=admin passwd=40617253 port=1 pcmk_host_list=node9
check "the devices start" started qdl old

qdlctl all on >/dev/null
check "fence node2 through the map" stonith_admin --fence node2 --timeout 60
check "outlet 2 is off" shows 2 off
check "unfence node2" stonith_admin --unfence node2 --timeout 60
check "outlet 2 is on" shows 2 on
check "reboot node3" stonith_admin --reboot node3 --timeout 60
check "outlet 3 was switched off, then on" sh -c "sed -n 's/.*SetPower+P60=.+P61=.+P62=\\(.\\).*/\\1/p' \
    '$work/switch.log' | tail -n 2 | tr -d '\n' | grep -qx 01"
check "outlet 3 is on" shows 3 on
check "fence node4, mapped to two outlets" stonith_admin --fence node4 --timeout 60
check "outlet 3 is off" shows 3 off
check "outlet 4 is off" shows 4 off
check "fence node9 through the old names" stonith_admin --fence node9 --timeout 60
check "outlet 1 is off" shows 1 off

pcs stonith delete qdl >/dev/null 2>&1 || true
pcs stonith delete old >/dev/null 2>&1 || true
check "pcs creates a device with an unknown attribute (forced)" pcs stonith create extra fence_qdl4816 \
    ip=127.0.0.1 ipport="$port" password=40617253 plug=1 pcmk_host_list=node8 nosuchoption=1 --force
check "that device starts" started extra
qdlctl on 1 >/dev/null
check "and fences" stonith_admin --fence node8 --timeout 60
check "outlet 1 is off" shows 1 off
pcs stonith delete extra >/dev/null 2>&1 || true

# The race: one device per node on the same switch, both nodes fenced at the same moment.
check "pcs creates one device per node" sh -c "
    pcs stonith create d2 fence_qdl4816 ip=127.0.0.1 ipport=$port password=40617253 plug=2 pcmk_host_list=node2 &&
    pcs stonith create d3 fence_qdl4816 ip=127.0.0.1 ipport=$port password=40617253 plug=3 pcmk_host_list=node3"
check "both devices start" started d2 d3
bad=0
for round in $(seq "$rounds"); do
    qdlctl all on >/dev/null
    stonith_admin --fence node2 --timeout 60 >>"$work/race.log" 2>&1 &
    first=$!
    stonith_admin --fence node3 --timeout 60 >>"$work/race.log" 2>&1 &
    second=$!
    first_rc=0 second_rc=0
    wait "$first" || first_rc=$?
    wait "$second" || second_rc=$?
    if { [ "$first_rc" -eq 0 ] && shows 2 on; } || { [ "$second_rc" -eq 0 ] && shows 3 on; }; then
        bad=$((bad + 1))
        echo "round $round: an agent reported success while its outlet is ON" >>"$work/race.log"
    fi
    [ "$first_rc" -eq 0 ] && [ "$second_rc" -eq 0 ] || echo "round $round: a fence failed" >>"$work/race.log"
done
echo "race: $rounds rounds, $bad with success reported while an outlet was ON"
check "no round reports success while an outlet is ON" test "$bad" -eq 0
check "every fence of the race succeeded" fails grep -q 'a fence failed' "$work/race.log"

finish_checks "$work/race.log" "$work/switch.log" "$work/pacemaker.log"
echo "all cluster checks passed"
