#!/usr/bin/env bash
# The Python package and the Ansible collection as their callers use them, against one stand-in
# switch: Switch.outlets() beside the raw exchange and urllib.request in the same process, the
# cost of `import qdl4816`; then an Ansible `outlet` task that finds the outlet as asked (one
# GetPower) beside an `ansible.builtin.uri` task doing the same GetPower, both on localhost: per
# task, the playbook's time less an empty playbook's, medians of alternating runs. Builds in
# build-rel/.
# Usage: scripts/bench-python.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-40}

bash scripts/install-deps.sh
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdl-switch qdl4816_native

work=$(mktemp -d)
source scripts/lib/processes.sh
trap 'stop_processes switch; rm -rf "$work"' EXIT
start_switch switch
port=$(cat "$work/switch.port")
export PYTHONPATH=$PWD/build-rel/python
/usr/bin/python3 bench/python_outlets.py "$port" "$rounds"

tasks=30
printf 'localhost ansible_connection=local ansible_python_interpreter=/usr/bin/python3\n' >"$work/inventory"
playbook() { # NAME TASK-TEXT COUNT
    {
        printf -- '- hosts: localhost\n  gather_facts: false\n  tasks:\n'
        for _ in $(seq "$3"); do printf '%s\n' "$2"; done
        [ "$3" -gt 0 ] || printf '  - meta: noop\n'
    } >"$work/$1.yml"
}
playbook outlet "  - quadrel.qdl4816.outlet: {host: 127.0.0.1, port: $port, password: '40617253', outlet: 1, state: 'off'}" $tasks
playbook uri "  - ansible.builtin.uri: {url: 'http://127.0.0.1:$port/Set.cmd?CMD=GetPower', url_username: admin, url_password: '40617253', force_basic_auth: true, return_content: true}" $tasks
playbook empty "" 0
export ANSIBLE_COLLECTIONS_PATH=$PWD/ansible ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp
/usr/bin/python3 - "$work" "$tasks" <<'PYTHON'
import statistics, subprocess, sys, time
work, tasks = sys.argv[1], int(sys.argv[2])
def run(name):
    started = time.perf_counter()
    subprocess.run(["ansible-playbook", "-i", work + "/inventory", "%s/%s.yml" % (work, name)],
                   check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - started
times = {"outlet": [], "uri": [], "empty": []}
for _ in range(5):
    for name in times:
        times[name].append(run(name))
empty = statistics.median(times["empty"])
per = {name: (statistics.median(times[name]) - empty) / tasks for name in ("outlet", "uri")}
print("Ansible task (GetPower on localhost, median of 5 playbooks of %d): quadrel.qdl4816.outlet %.0f ms, "
      "ansible.builtin.uri %.0f ms; outlet/uri %.2f" % (tasks, per["outlet"] * 1000, per["uri"] * 1000,
                                                       per["outlet"] / per["uri"]))
PYTHON
