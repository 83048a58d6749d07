#!/usr/bin/env bash
# Compares the window's start-up with a bare Qt main window showing one line in the same font,
# under a virtual X server: the time until the first window is mapped (hyperfine, both side by
# side in one run) and the peak resident memory (median over interleaved runs).
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

hyperfine -N --warmup 3 --runs "$runs" --export-csv times.csv \
    -n window "$probe $window" -n bare "$probe $bare"

for _ in $(seq "$runs"); do
    "$probe" "$window" | awk '/KIB_PEAK/ {print $2}' >>window.kib
    "$probe" "$bare" | awk '/KIB_PEAK/ {print $2}' >>bare.kib
done

median() { sort -n "$1" | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
median_time() { awk -F, -v name="$1" '$1 == name {print $4}' times.csv; }
window_time=$(median_time window)
bare_time=$(median_time bare)
window_kib=$(median window.kib)
bare_kib=$(median bare.kib)
awk -v wt="$window_time" -v bt="$bare_time" -v wk="$window_kib" -v bk="$bare_kib" 'BEGIN {
    printf "time to a mapped window (median): window %.1f ms, bare %.1f ms: %.2fx (goal <= 1.1x)\n", wt * 1000, bt * 1000, wt / bt
    printf "peak resident memory (median):    window %d KiB, bare %d KiB: %.2fx (goal <= 1.3x)\n", wk, bk, wk / bk
}'
