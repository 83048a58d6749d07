#!/usr/bin/env bash
# Builds qdlctl.exe and the unit tests of device/, settings/ and control/ for 64-bit Windows with
# mingw-w64 in build-windows/, runs the tests under wine (a fresh WINEPREFIX in a temporary
# folder), proves qdlctl.exe under wine against the Linux stand-in switch, and leaves
# dist/qdlctl-<version>-windows-x86_64.zip with qdlctl.exe, its licence and a short README.
# Usage: scripts/build-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh windows
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQDL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-windows -j2
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdl-switch qdlctl

work=$(mktemp -d)
source scripts/lib/checks.sh
source scripts/lib/processes.sh
cleanup() {
    stop_processes switch stuck
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX=$work/wine WINEDEBUG=-all
wineboot --init >/dev/null 2>&1 || true

ctest --test-dir build-windows --output-on-failure

# qdlctl.exe under wine against the stand-in switch on 127.0.0.1.
start_switch switch
start_switch stuck --stuck 3
port=$(cat "$work/switch.port")
exe=$PWD/build-windows/cli/qdlctl.exe
qdlctl_exe() { (cd "$work" && wine "$exe" "$@"); }
printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\n' "$port" >"$work/QDL4816.ini"

# The command (qdlctl.exe's arguments) exits with CODE and says TEXT.
exits() { # CODE TEXT ARGUMENTS...
    local code=$1 text=$2 status=0
    shift 2
    qdlctl_exe "$@" >"$work/out.txt" 2>&1 || status=$?
    cat "$work/out.txt"
    [ "$status" -eq "$code" ] && grep -q -- "$text" "$work/out.txt"
}
shows_outlet() { build-rel/cli/qdlctl --host 127.0.0.1 --port "$port" status --json | grep -q "{\"outlet\":$1,\"on\":$2}"; }
cycled() { grep -o 'P61=.' "$work/switch.log" | tail -n 2 | tr -d '\n' | grep -qx 'P61=0P61=1'; }
exported() { qdlctl_exe schedule export s.json && grep -q '"slot": "4B"' "$work/s.json"; }
imported() {
    build-rel/cli/qdlctl --host 127.0.0.1 --port "$port" schedule |
        grep -q '4B    4       2027-01-02  06:07:08  weekend   096   ON'
}
# Ctrl-C: wine hands SIGINT to the console program as Ctrl-C.
ctrl_c() {
    qdlctl_exe cycle 1 --off-time 60 >"$work/ctrl-c.out" 2>&1 &
    local pid=$! status=0
    for _ in $(seq 100); do
        [ "$(grep -c 'CMD=GetPower' "$work/switch.log")" -ge "$1" ] && break
        sleep 0.1
    done
    pkill -INT -f 'qdlctl.exe cycle 1' || true
    wait "$pid" || status=$?
    cat "$work/ctrl-c.out"
    [ "$status" -eq 130 ] && grep -q 'Stopped by Ctrl-C' "$work/ctrl-c.out" && grep -q 'outlet 1: ON' "$work/ctrl-c.out"
}

check "status" exits 0 '4 *OFF' status
check "on 2" exits 0 'outlet 2: ON' on 2
check "the switch shows outlet 2 on" shows_outlet 2 true
check "cycle 2 --off-time 1" exits 0 'outlet 2: ON' cycle 2 --off-time 1
check "the cycle switched outlet 2 off, then on" cycled
check "schedule set" exits 0 '4B' schedule set 4B --date 2027-01-02 --time 06:07:08 --repeat weekend --on
check "schedule export" exported
check "schedule clear" exits 0 'disable' schedule clear 4B
check "schedule import" exits 0 'as in the file' schedule import s.json
check "the switch shows the imported entry" imported
check "a refused port exits 1 with socket error 10061" exits 1 'socket error 10061' --host 127.0.0.1 --port 1 status
check "a bad outlet exits 2" exits 2 "'7' is not an outlet" on 7
# Another switch than the settings file names: its credentials are given, not taken from the file.
check "a stuck outlet exits 3" exits 3 'outlet 3 shows OFF, not ON' --host 127.0.0.1 --port "$(cat "$work/stuck.port")" \
    --password 40617253 on 3
# Once the cycle's off step is confirmed (the third GetPower from now), Ctrl-C.
check "Ctrl-C during a cycle switches the outlet on again and exits 130" \
    ctrl_c $(($(grep -c 'CMD=GetPower' "$work/switch.log") + 2))

finish_checks "$work/switch.log" "$work/stuck.log"

# The release: qdlctl.exe, its licence and a short README.
version=$(sed -n 's/^project(Quadrel4816 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=$work/qdlctl-$version-windows-x86_64
mkdir -p "$release" dist
x86_64-w64-mingw32-strip -o "$release/qdlctl.exe" build-windows/cli/qdlctl.exe
sed 's/$/\r/' LICENSE >"$release/LICENSE.txt"
sed "s/@VERSION@/$version/; s/\$/\r/" cli/windows-README.txt >"$release/README.txt"
rm -f "dist/qdlctl-$version-windows-x86_64.zip"
(cd "$work" && zip -qr "$OLDPWD/dist/qdlctl-$version-windows-x86_64.zip" "qdlctl-$version-windows-x86_64")
echo "all Windows checks passed; dist/qdlctl-$version-windows-x86_64.zip"
