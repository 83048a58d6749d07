# shellcheck shell=bash
# Background processes of a script, known by name: each keeps its process id in $work/NAME.pid
# and its output in $work/NAME.log. The sourcing script sets `work`, its temporary folder, and
# has built build-rel/.
: "${work:?the script sets work, its temporary folder, before sourcing this}"

# Starts the stand-in switch as NAME on a free loopback port and waits until it listens; the
# port is then in $work/NAME.port.
start_switch() { # NAME [OPTIONS...]
    local name=$1
    shift
    build-rel/tools/switch/qdl-switch --port 0 --port-file "$work/$name.port" "$@" >"$work/$name.log" 2>&1 &
    echo $! >"$work/$name.pid"
    for _ in $(seq 100); do [ -s "$work/$name.port" ] && return 0; sleep 0.1; done
    echo "the stand-in switch did not start; its output:" >&2
    cat "$work/$name.log" >&2
    exit 1
}

# Asks each named process to end, gives it a minute to finish, then kills it.
stop_processes() { # NAMES...
    local name pid
    for name; do
        pid=$(cat "$work/$name.pid" 2>/dev/null) || continue
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
}
