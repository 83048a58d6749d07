#!/usr/bin/env bash
# Installs what is missing, builds the program, qdlctl and the stand-in switch in build/, starts the
# stand-in switch on a free loopback port, and starts the window in run/ with a settings file
# that points at it. Closing the window stops the switch.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF -DQDL_BUILD_BENCHMARKS=OFF
cmake --build build -j2 --target QDL4816 qdlctl qdl-switch

mkdir -p run
cd run
../build/tools/switch/qdl-switch --port 0 >switch.log 2>&1 &
switch_pid=$!
trap 'kill "$switch_pid" 2>/dev/null || true' EXIT

# The switch prints its address as its first line once it listens.
port=""
for _ in $(seq 100); do
    port=$(sed -n '1s|.*http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' switch.log)
    [ -n "$port" ] && break
    kill -0 "$switch_pid" 2>/dev/null || { cat switch.log >&2; exit 1; }
    sleep 0.1
done
[ -n "$port" ] || { echo "the stand-in switch did not start" >&2; exit 1; }
echo "stand-in switch on 127.0.0.1:$port (user admin, password 40617253); its log: run/switch.log"

umask 077
printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=admin\r\nPass=40617253\r\n\r\n' "$port" >QDL4816.ini
../build/app/QDL4816
