#!/usr/bin/env bash
# Takes a screenshot of the window under a virtual X server: docs/window.png by default.
# Usage: scripts/screenshot.sh [build folder] [output png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
output=$(realpath -m "${2:-docs/window.png}")
program=$(realpath "$build/app/QDL4816")
mkdir -p "$(dirname "$output")"

work=$(mktemp -d)
trap 'kill "${app_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!

cd "$work"
DISPLAY=$display QT_QPA_PLATFORM=xcb "$program" >/dev/null 2>&1 &
app_pid=$!

# The window takes a moment to map; look for it for up to ten seconds.
for _ in $(seq 50); do
    window=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null | awk '/"Quadrel 4816  Ver.0.1"/ {print $1; exit}' || true)
    if [ -n "$window" ] && DISPLAY=$display timeout 10 import -window "$window" "$output" 2>/dev/null; then
        echo "$output"
        exit 0
    fi
    sleep 0.2
done
echo "the window did not appear" >&2
exit 1
