#!/usr/bin/env bash
# Compares the window's start-up with a bare window showing one line in the same font, under a
# virtual X server: the time until the first window is mapped and the peak resident memory,
# medians over runs that take turns. By default the Qt window against a bare Qt main window; with
# `windows`, QDL4816.exe against a bare Win32 window with the same manifest, both under wine with
# a warm wineserver.
# Usage: scripts/bench-startup.sh [RUNS]
#        scripts/bench-startup.sh windows [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
platform=linux
if [ "${1:-}" = windows ]; then
    platform=windows
    shift
fi
runs=${1:-40}

bash scripts/install-deps.sh bench $([ "$platform" = windows ] && echo windows)
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target QDL4816 bare_window startup_probe
probe=$PWD/build-rel/bench/startup_probe

work=$(mktemp -d)
if [ "$platform" = windows ]; then
    cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DQDL_BUILD_BENCHMARKS=ON >/dev/null
    cmake --build build-windows -j2 --target QDL4816 bare_win32_window
    window=("$(command -v wine)" "$PWD/build-windows/app/QDL4816.exe")
    bare=("$(command -v wine)" "$PWD/build-windows/bench/bare_win32_window.exe")
    source scripts/lib/wine.sh
    trap 'wine_down; rm -rf "$work"' EXIT
    # wine_up keeps the wineserver up between the runs, as on a desktop where wine already runs.
    wine_up
else
    window=("$PWD/build-rel/app/QDL4816")
    bare=("$PWD/build-rel/bench/bare_window")
    trap 'kill "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
    export DISPLAY=:$((90 + RANDOM % 100))
    Xvfb "$DISPLAY" -screen 0 640x480x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb_pid=$!
    mkdir -m 700 "$work/runtime"
    export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
fi

# The window starts as a user's would: in a folder that holds its settings file.
cd "$work"
printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=80\r\nUserName=admin\r\nPass=40617253\r\n\r\n' >QDL4816.ini

# The two programs take turns, so that the machine's own ups and downs fall on both alike.
for _ in $(seq 3); do "$probe" "${window[@]}" >/dev/null; "$probe" "${bare[@]}" >/dev/null; done
for _ in $(seq "$runs"); do
    "$probe" "${window[@]}" >>window.txt
    "$probe" "${bare[@]}" >>bare.txt
done

median() { awk -v key="$1" '$1 == key {print $2}' "$2" | sort -n |
    awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
awk -v wt="$(median MS_TO_MAP window.txt)" -v bt="$(median MS_TO_MAP bare.txt)" \
    -v wk="$(median KIB_PEAK window.txt)" -v bk="$(median KIB_PEAK bare.txt)" -v runs="$runs" \
    -v platform="$platform" 'BEGIN {
    printf "%s: time to a mapped window (median of %d, interleaved): window %.1f ms, bare %.1f ms: %.2fx (goal <= 1.1x)\n", platform, runs, wt, bt, wt / bt
    printf "%s: peak resident memory (median):    window %d KiB, bare %d KiB: %.2fx (goal <= 1.3x)\n", platform, wk, bk, wk / bk
}'
