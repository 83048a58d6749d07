#!/usr/bin/env bash
# Takes a screenshot of the window under a virtual X server: docs/window.png by default; with
# `windows`, of QDL4816.exe from build-windows/ under wine: docs/window-windows.png by default.
# Usage: scripts/screenshot.sh [build folder] [output png]
#        scripts/screenshot.sh windows [output png]
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
if [ "${1:-}" = windows ]; then
    output=$(realpath -m "${2:-docs/window-windows.png}")
    program=$(realpath build-windows/app/QDL4816.exe)
    source scripts/lib/wine.sh
    trap 'kill "${app_pid:-}" 2>/dev/null || true; wine_down; rm -rf "$work"' EXIT
    wine_up
    (cd "$work" && exec wine "$program") >/dev/null 2>&1 &
    app_pid=$!
else
    output=$(realpath -m "${2:-docs/window.png}")
    program=$(realpath "${1:-build}/app/QDL4816")
    trap 'kill "${app_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
    export DISPLAY=:$((90 + RANDOM % 100))
    Xvfb "$DISPLAY" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    (cd "$work" && QT_QPA_PLATFORM=xcb exec "$program") >/dev/null 2>&1 &
    app_pid=$!
fi
mkdir -p "$(dirname "$output")"

# The window takes a moment to map; look for it for up to twenty seconds.
for _ in $(seq 100); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/"Quadrel 4816  Ver.0.1"/ {print $1; exit}' || true)
    if [ -n "$window" ] && timeout 10 import -window "$window" "$output" 2>/dev/null; then
        echo "$output"
        exit 0
    fi
    sleep 0.2
done
echo "the window did not appear" >&2
exit 1
