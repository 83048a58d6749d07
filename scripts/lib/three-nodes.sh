# shellcheck shell=bash
# The three-node cluster of scripts/cluster-test.sh. node1 to node3 each run in their own network,
# mount, PID and UTS namespaces (scripts/lib/node-init.sh), joined on a bridge that exists only in
# a network namespace of the test ("the lab"), with no route out. The stand-in switch listens on
# that bridge and keeps its state in a file; a power watcher reads the file: outlet N OFF kills
# node N's PID namespace by its init's process id, outlet N ON boots node N again.
# The sourcing script sets `work`, its temporary folder, sources checks.sh and processes.sh, and
# has built build-rel/.
: "${work:?the script sets work, its temporary folder, before sourcing this}"

subnet=10.237.0
switch_address=$subnet.100
lab=qdl-lab-$$
node_namespace() { echo "qdl-node$1-$$"; }
now_ms() { date +%s%3N; }

# The folders a node keeps across its boots, and its corosync.conf.
make_node() { # N
    local dir=$work/node$1 i
    mkdir -p "$dir"/pacemaker/{cib,pengine,blackbox,cores} "$dir/corosync" "$dir/log/pacemaker"
    chown -R hacluster:haclient "$dir/pacemaker" "$dir/log/pacemaker"
    chmod 750 "$dir"/pacemaker/*
    {
        printf 'totem {\n    version: 2\n    cluster_name: qdl3\n    transport: knet\n'
        printf '    crypto_cipher: none\n    crypto_hash: none\n    token: 3000\n}\nnodelist {\n'
        for i in 1 2 3; do
            printf '    node {\n        ring0_addr: %s.%s\n        name: node%s\n        nodeid: %s\n    }\n' \
                "$subnet" "$i" "$i" "$i"
        done
        printf '}\nquorum {\n    provider: corosync_votequorum\n}\n'
        printf 'logging {\n    to_logfile: yes\n    logfile: /var/log/corosync.log\n    to_syslog: no\n'
        printf '    to_stderr: no\n}\n'
    } >"$dir/corosync.conf"
}

lab_up() {
    local i ns
    ip netns add "$lab"
    ip -n "$lab" link set lo up
    ip -n "$lab" link add br0 type bridge
    ip -n "$lab" addr add "$switch_address/24" dev br0
    ip -n "$lab" link set br0 up
    mkdir -p "$work/agent"
    ln -s "$PWD/build-rel/cli/qdlctl" "$work/agent/fence_qdl4816"
    for i in 1 2 3; do
        ns=$(node_namespace "$i")
        ip netns add "$ns"
        ip -n "$lab" link add "n$i" type veth peer name eth0 netns "$ns"
        ip -n "$lab" link set "n$i" master br0 up
        ip -n "$ns" link set lo up
        ip -n "$ns" addr add "$subnet.$i/24" dev eth0
        ip -n "$ns" link set eth0 up
        make_node "$i"
    done
    ip netns exec "$lab" build-rel/tools/switch/qdl-switch --address "$switch_address" --port 80 \
        --state-file "$work/switch.json" >"$work/lab-switch.log" 2>&1 &
    echo $! >"$work/lab-switch.pid"
    for _ in $(seq 100); do [ -s "$work/switch.json" ] && break; sleep 0.1; done
}

lab_down() {
    local i
    stop_processes watcher
    for i in 1 2 3; do power_off "$i" quietly; done
    stop_processes lab-switch
    for i in 1 2 3; do ip netns del "$(node_namespace "$i")" 2>/dev/null; done
    ip netns del "$lab" 2>/dev/null
}

# qdlctl on the lab's bridge.
lab_qdlctl() { ip netns exec "$lab" build-rel/cli/qdlctl --host "$switch_address" --password 40617253 "$@"; }

# The outlets as the switch keeps them: "true,false,true,false".
outlets() { tr -d ' \n' <"$work/switch.json" | sed -n 's/.*"outlets":\[\([a-z,]*\)\].*/\1/p'; }
# Outlet N is ON (true) or OFF (false).
outlet_is() { # N true|false
    local states
    IFS=, read -r -a states <<<"$(outlets)"
    [ "${states[$1 - 1]}" = "$2" ]
}

node_running() { # N
    local pid
    pid=$(cat "$work/node$1.pid" 2>/dev/null) && kill -0 "$pid" 2>/dev/null
}

# The node's PID 1, as the host numbers it: the child of its unshare.
node_init() { pgrep -P "$(cat "$work/node$1.pid")"; }

# unshare hands SIGKILL on to the node's PID 1 when it dies, and the kernel then kills every
# process of the node's PID namespace.
power_off() { # N [quietly]
    local pid
    pid=$(cat "$work/node$1.pid" 2>/dev/null) || return 0
    kill -KILL "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    rm -f "$work/node$1.pid"
    [ -n "${2:-}" ] || echo "$(now_ms) node$1 off" >>"$work/power.log"
}

power_on() { # N
    ip netns exec "$(node_namespace "$1")" unshare --pid --fork --kill-child=SIGKILL --mount --uts --mount-proc \
        scripts/lib/node-init.sh "$1" "$work" >>"$work/node$1.out" 2>&1 &
    echo $! >"$work/node$1.pid"
    echo "$(now_ms) node$1 on" >>"$work/power.log"
}

# The power watcher: each node follows its outlet.
watch_power() {
    local states i
    set +e
    while :; do
        IFS=, read -r -a states <<<"$(outlets)"
        for i in 1 2 3; do
            if [ "${states[i - 1]}" = false ] && node_running "$i"; then
                power_off "$i"
            elif [ "${states[i - 1]}" = true ] && ! node_running "$i"; then
                power_on "$i"
            fi
        done
        sleep 0.05
    done
}

# A command on node N, in all of its namespaces.
on_node() { # N COMMAND...
    local node=$1 init
    shift
    init=$(node_init "$node") || return 1
    nsenter -t "$init" -a "$@"
}

# A node that runs, to ask the cluster from: the first of 1 to 3 but the ones named.
asker() { # [EXCEPT...]
    local i
    for i in 1 2 3; do
        [[ " $* " == *" $i "* ]] && continue
        node_running "$i" && { echo "$i"; return 0; }
    done
    return 1
}

# Waits until Pacemaker shows these nodes online.
online() { # NODES...
    local wanted=$* node
    for _ in $(seq 240); do
        node=$(asker) && on_node "$node" crm_mon -1 2>/dev/null | grep -q "Online: \[ $wanted \]" && return 0
        sleep 0.5
    done
    return 1
}

# The agent runs on node N now.
agent_running() { # N
    node_running "$1" && pgrep --ns "$(node_init "$1")" --nslist pid -x fence_qdl4816 >/dev/null
}

# Waits until no fencing operation is pending and no agent runs: one still holding its outlet
# OFF would switch a node off again as it is switched on. Pacemaker may mark a request failed
# while its agent still runs, and ask again at once, so the history alone can look idle.
fencing_done() {
    local i busy
    for _ in $(seq 240); do
        busy=""
        on_node "$(asker)" stonith_admin --history '*' 2>/dev/null | grep -q pending && busy=yes
        for i in 1 2 3; do agent_running "$i" && busy=yes; done
        [ -n "$busy" ] || return 0
        sleep 0.5
    done
    return 1
}

# Waits until the cluster has nothing left to do, so that a node that just joined has taken
# part in an election and the fencing history before a round begins; a cluster without quorum
# never settles, so this only bounds the wait.
settled() {
    on_node "$(asker)" crm_resource --wait --timeout 120 >/dev/null 2>&1 || true
}

# Every node on and online. Nodes that come back while the cluster still settles a fence may
# be fenced again by it: the outlets are switched on once more then.
all_online() {
    for _ in 1 2 3; do
        fencing_done || return 1
        lab_qdlctl set 1=on 2=on 3=on >/dev/null
        online node1 node2 node3 && settled && return 0
    done
    return 1
}

# Waits until Pacemaker reports node N fenced (turned off), asked on a node that runs.
fenced() { # N
    for _ in $(seq 240); do
        on_node "$(asker "$1")" stonith_admin --history "node$1" 2>/dev/null |
            grep -q "off of node$1 successful" && return 0
        sleep 0.5
    done
    return 1
}

# The node that runs the stonith device.
device_node() { on_node "$(asker)" crm_mon -1 | sed -n 's/.*qdl-rack.*Started node\([0-9]\).*/\1/p'; }

kill_corosync() { # N
    kill -KILL "$(pgrep --ns "$(node_init "$1")" --nslist pid -x corosync)"
}

# Power events of node N since line MARK of the power log.
events_since() { # MARK N
    tail -n "+$(($1 + 1))" "$work/power.log" | grep " node$2 " || true
}

agent_in_nodes_only() {
    local i
    [ ! -e /usr/sbin/fence_qdl4816 ] || return 1
    for i in 1 2 3; do on_node "$i" test -x /usr/sbin/fence_qdl4816 || return 1; done
}

device_started() {
    for _ in $(seq 60); do
        [ -n "$(device_node)" ] && return 0
        sleep 1
    done
    return 1
}

# Node 1 fences node N. Pacemaker merges a request with an identical one still pending in a
# peer's history from before a fencer lost its power, and fails both as "presumed failed" when
# that stale one is found; the request is then made once more, as an administrator would.
fenced_by_node1() { # N
    local said status=0
    said=$(on_node 1 stonith_admin --fence "node$1" --timeout 120 2>&1) || status=$?
    echo "$said"
    [ "$status" -ne 0 ] || return 0
    grep -q "presumed failed" <<<"$said" || return 1
    on_node 1 stonith_admin --fence "node$1" --timeout 120
}

unfenced() { # N
    on_node "$(asker "$1")" stonith_admin --unfence "node$1" --timeout 120 && outlet_is "$1" true
}

# Node N, its corosync killed, is fenced; its outlet is OFF when Pacemaker reports it, and no
# event switches it on for the settle time and more; then it is switched on and rejoins.
fenced_and_stays_off() { # N
    local mark
    mark=$(wc -l <"$work/power.log")
    kill_corosync "$1"
    fenced "$1" || { echo "node$1 was not reported fenced"; return 1; }
    outlet_is "$1" false || { echo "Pacemaker reports node$1 fenced while outlet $1 is ON"; return 1; }
    sleep 10
    outlet_is "$1" false && ! events_since "$mark" "$1" | grep -q ' on$' || { echo "outlet $1 came on again"; return 1; }
}

# Node N, its corosync killed, is rebooted by the cluster itself, with reboot as its fencing action.
rebooted_by_cluster() { # N
    on_node "$(asker "$1")" crm_attribute --type crm_config --name stonith-action --update reboot || return 1
    kill_corosync "$1"
    local done=""
    for _ in $(seq 240); do
        on_node "$(asker "$1")" stonith_admin --history "node$1" --verbose >"$work/reboot-history" 2>&1
        grep -Eq "reboot(ing)? of node$1 successful" "$work/reboot-history" && done=yes && break
        sleep 0.5
    done
    cat "$work/reboot-history"
    on_node "$(asker "$1")" crm_attribute --type crm_config --name stonith-action --update off || return 1
    [ -n "$done" ]
}

# Milliseconds between the last OFF of node N and the ON after it.
last_off_time() { # N
    awk -v node="node$1" '$2 == node && $3 == "off" { off = $1 } $2 == node && $3 == "on" && off { ms = $1 - off }
        END { print ms + 0 }' "$work/power.log"
}

# What became of the fence of node T that node R asked for: "successful", "failed", or nothing
# when the cluster has no record of it (R lost its power before the request went out). The
# history in full: without --verbose it shows one event a node.
fence_result() { # R T
    on_node "$(asker)" stonith_admin --history "node$2" --verbose 2>/dev/null |
        grep "client=stonith_admin.*origin=node$1," | sed -n 's/.* of node[0-9] \(successful\|failed\).*/\1/p' |
        head -n 1
}

# What the agent returned when node E's fencer ran it to turn node T off, from E's log since line
# MARK; nothing when it did not run there.
agent_result() { # E T MARK
    tail -n "+$(($3 + 1))" "$work/node$1/log/pacemaker.log" |
        sed -n "s/.*Operation 'off' \[[0-9]*\] targeting node$2 using qdl-rack returned \([0-9-]*\).*/\1/p" |
        tail -n 1
}

# The node that node R's fencer asked to carry out its fence of node T, from R's log since line
# MARK (the log stays in the node's folder when the node loses its power).
executor_of() { # R T MARK
    tail -n "+$(($3 + 1))" "$work/node$1/log/pacemaker.log" |
        sed -n "s/.*Requesting that node\([0-9]\) perform 'off' action targeting node$2 .*/\1/p" | tail -n 1
}

lost_power() { # MARK N
    events_since "$1" "$2" | grep -q ' off$'
}

# One round of the race: node A asks to fence node B and node B to fence node C, at the same
# moment. Appends a verdict per finding to $work/race-verdicts: "success-while-on" (a fence that
# succeeded while its outlet is ON or came on again), "switched-off" (node A's outlet went OFF),
# "executor-kept-power" (a fence failed whose executor kept its power), "executor-lost-power", or
# "history-lost" (the agent turned the outlet off and it stayed off, but Pacemaker lost the
# requester's record with a fencer restarted as its node lost power, or marked it failed before
# the agent's result arrived).
race_round() { # A B C
    local a=$1 b=$2 c=$3 mark first second requester target result executor verdict node
    local -A log_mark
    all_online || { echo "the nodes did not all come back before the round" >>"$work/race.log"; return 1; }
    on_node "$a" stonith_admin --cleanup --history '*' >/dev/null 2>&1 || true
    mark=$(wc -l <"$work/power.log")
    for node in 1 2 3; do log_mark[$node]=$(wc -l <"$work/node$node/log/pacemaker.log"); done
    on_node "$a" stonith_admin --fence "node$b" --timeout 60 >>"$work/race.log" 2>&1 &
    first=$!
    on_node "$b" stonith_admin --fence "node$c" --timeout 60 >>"$work/race.log" 2>&1 &
    second=$!
    wait "$first" || true
    wait "$second" || true
    fencing_done
    on_node "$(asker)" stonith_admin --history '*' --verbose >>"$work/race.log" 2>&1 || true
    for target in "$b" "$c"; do
        if on_node "$(asker)" stonith_admin --history "node$target" --verbose 2>/dev/null |
            grep -q "of node$target successful" &&
            { ! outlet_is "$target" false || events_since "$mark" "$target" | grep -q ' on$'; }; then
            echo success-while-on >>"$work/race-verdicts"
        fi
    done
    for requester in "$a" "$b"; do
        target=$([ "$requester" = "$a" ] && echo "$b" || echo "$c")
        result=$(fence_result "$requester" "$target")
        executor=$(executor_of "$requester" "$target" "${log_mark[$requester]}")
        if [ "$result" = successful ]; then
            verdict=""
        elif [ -z "$result" ] && lost_power "$mark" "$requester"; then
            verdict=""
        elif [ -n "$executor" ] && lost_power "$mark" "$executor"; then
            verdict=executor-lost-power
        elif [ -n "$executor" ] && [ "$(agent_result "$executor" "$target" "${log_mark[$executor]}")" = 0 ] &&
            outlet_is "$target" false && ! events_since "$mark" "$target" | grep -q ' on$'; then
            verdict=history-lost
        else
            verdict=executor-kept-power
        fi
        echo "round: node$requester asked to fence node$target; node${executor:-?} carried it out:" \
            "${result:-no record}${verdict:+ ($verdict)}" >>"$work/race.log"
        [ -z "$verdict" ] || echo "$verdict" >>"$work/race-verdicts"
        # A failure the agent's node saw: its fencer's account of it, for the log.
        [ "$verdict" != executor-kept-power ] || [ -z "$executor" ] ||
            tail -n "+$((${log_mark[$executor]} + 1))" "$work/node$executor/log/pacemaker.log" |
            grep -E "targeting node$target|fence_qdl4816" >>"$work/race.log"
    done
    lost_power "$mark" "$a" && echo switched-off >>"$work/race-verdicts"
    return 0
}

three_node_checks() { # ROUNDS
    local rounds=$1 runner i
    : >"$work/power.log"
    : >"$work/race-verdicts"
    lab_up
    lab_qdlctl set 1=on 2=on 3=on >/dev/null
    watch_power 2>>"$work/watcher.log" &
    echo $! >"$work/watcher.pid"

    check "three nodes, each in namespaces of its own on a bridge of the test, are online" online node1 node2 node3
    check "the agent is in each node's /usr/sbin, not the host's" agent_in_nodes_only
    check "fencing turns the power off, with a stonith timeout of 60 s" on_node 1 sh -c \
        'crm_attribute --type crm_config --name stonith-action --update off &&
         crm_attribute --type crm_config --name stonith-timeout --update 60s'
    check "pcs creates one device for the switch with pcmk_host_map" on_node 1 pcs stonith create qdl-rack \
        fence_qdl4816 ip="$switch_address" username=admin password=40617253 pcmk_host_map="node1:1;node2:2;node3:3"
    check "the device starts" device_started

    runner=$(device_node)
    i=$((runner % 3 + 1))
    check "node$i, its corosync killed, is fenced, OFF when Pacemaker says so, and stays OFF" fenced_and_stays_off "$i"
    check "node$i comes back once its outlet is on" all_online
    runner=$(device_node)
    check "node$runner, which runs the device, is fenced the same way" fenced_and_stays_off "$runner"
    check "node$runner comes back once its outlet is on" all_online
    fencing_done

    check "node2, its corosync killed, is rebooted by the cluster" rebooted_by_cluster 2
    echo "node2 was OFF for $(last_off_time 2) ms"
    check "outlet 2 stayed OFF at least power_wait (5 s)" test "$(last_off_time 2)" -ge 5000
    check "node2 comes back by itself" online node1 node2 node3

    for i in $(seq "$rounds"); do
        race_round $(((i - 1) % 3 + 1)) $((i % 3 + 1)) $(((i + 1) % 3 + 1)) ||
            echo nodes-not-back >>"$work/race-verdicts"
    done
    echo "race: $rounds rounds of two fences from two nodes at once;" \
        "$(grep -c executor-lost-power "$work/race-verdicts") fences failed as their executor lost its power;" \
        "$(grep -c history-lost "$work/race-verdicts") carried out by the agent but lost or failed in the history"
    check "no fence succeeded while its outlet was ON" fails grep -q success-while-on "$work/race-verdicts"
    check "no outlet that should stay ON was switched OFF" fails grep -q switched-off "$work/race-verdicts"
    check "every fence whose executor kept its power succeeded" fails grep -q executor-kept-power "$work/race-verdicts"
    check "every round began with the three nodes online" fails grep -q nodes-not-back "$work/race-verdicts"

    all_online >/dev/null
    check "the device provides unfencing" on_node 1 pcs stonith update qdl-rack meta provides=unfencing
    check "fence node3" fenced_by_node1 3
    check "unfencing brings node3 back" unfenced 3
    check "node3 is online again" online node1 node2 node3
}
