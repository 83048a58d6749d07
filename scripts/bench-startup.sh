#!/usr/bin/env bash
# Compares the window's start-up with a bare Qt main window showing one line in the same font,
# under a virtual X server: the time until the first window is mapped and the peak resident
# memory, medians over runs that take turns.
# Usage: scripts/bench-startup.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-40}

bash scripts/install-deps.sh bench
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target QDL4816 bare_window startup_probe

probe=$PWD/build-rel/bench/startup_probe
window=$PWD/build-rel/app/QDL4816
bare=$PWD/build-rel/bench/bare_window

work=$(mktemp -d)
trap 'kill "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
mkdir -m 700 "$work/runtime"
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime
for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done

# The window starts as a user's would: in a folder that holds its settings file.
cd "$work"
printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=80\r\nUserName=admin\r\nPass=40617253\r\n\r\n' >QDL4816.ini

# The two programs take turns, so that the machine's own ups and downs fall on both alike.
for _ in $(seq 3); do "$probe" "$window" >/dev/null; "$probe" "$bare" >/dev/null; done
for _ in $(seq "$runs"); do
    "$probe" "$window" >>window.txt
    "$probe" "$bare" >>bare.txt
done

median() { awk -v key="$1" '$1 == key {print $2}' "$2" | sort -n |
    awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
awk -v wt="$(median MS_TO_MAP window.txt)" -v bt="$(median MS_TO_MAP bare.txt)" \
    -v wk="$(median KIB_PEAK window.txt)" -v bk="$(median KIB_PEAK bare.txt)" -v runs="$runs" 'BEGIN {
    printf "time to a mapped window (median of %d, interleaved): window %.1f ms, bare %.1f ms: %.2fx (goal <= 1.1x)\n", runs, wt, bt, wt / bt
    printf "peak resident memory (median):    window %d KiB, bare %d KiB: %.2fx (goal <= 1.3x)\n", wk, bk, wk / bk
}'
