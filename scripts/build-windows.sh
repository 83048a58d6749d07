#!/usr/bin/env bash
# Builds the window QDL4816.exe, qdlctl.exe and their tests for 64-bit Windows with mingw-w64 in
# build-windows/, and proves them under wine on a virtual display of its own (a fresh prefix in
# a temporary folder): the unit, window-logic and Win32-face tests; qdlctl.exe and the window,
# driven from another process, against the Linux stand-in switch; the MSI installed, upgraded and
# uninstalled. Leaves dist/quadrel4816-<version>-x64.msi and the portable
# dist/quadrel4816-<version>-windows-x86_64.zip.
# With --build it only builds the Windows programs.
# Usage: scripts/build-windows.sh [--build]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh windows
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQDL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-windows -j2
[ "${1:-}" != --build ] || exit 0
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target qdl-switch qdlctl qdl-hostile-clients

work=$(mktemp -d)
source scripts/lib/checks.sh
source scripts/lib/processes.sh
source scripts/lib/wine.sh
source scripts/lib/windows-release.sh
cleanup() {
    stop_processes switch stuck named
    wine_down
    rm -rf "$work"
}
trap cleanup EXIT
wine_up

ctest --test-dir build-windows --output-on-failure

start_switch switch
start_switch stuck --stuck 3
# A switch whose user name and password lie outside most ANSI code pages, configured (as from a
# Japanese Windows) with their Shift JIS bytes.
start_switch named --user "$(printf 山田 | iconv -t SHIFT_JIS)" --password "$(printf パスワード | iconv -t SHIFT_JIS)"
port=$(cat "$work/switch.port")
named_port=$(cat "$work/named.port")
exe=$PWD/build-windows/cli/qdlctl.exe
window_exe=$PWD/build-windows/app/QDL4816.exe
driver_exe=$PWD/build-windows/tests/qdl-window-driver.exe
qdlctl_exe() { (cd "$work" && wine "$exe" "$@"); }
qdlctl() { build-rel/cli/qdlctl --host 127.0.0.1 --port "$port" "$@"; }
driver() { wine "$driver_exe" "$@"; }
reader() { wine "$PWD/build-windows/tests/qdl-msaa-reader.exe" "$@"; }
printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\n' "$port" >"$work/QDL4816.ini"

# ---- qdlctl.exe ----

# The command (qdlctl.exe's arguments) exits with CODE and says TEXT.
exits() { # CODE TEXT ARGUMENTS...
    local code=$1 text=$2 status=0
    shift 2
    qdlctl_exe "$@" >"$work/out.txt" 2>&1 || status=$?
    cat "$work/out.txt"
    [ "$status" -eq "$code" ] && grep -q -- "$text" "$work/out.txt"
}
shows_outlet() { qdlctl status --json | holds "{\"outlet\":$1,\"on\":$2}"; }
cycled() { grep -o 'P61=.' "$work/switch.log" | tail -n 2 | tr -d '\n' | grep -qx 'P61=0P61=1'; }
exported() { qdlctl_exe schedule export "$1" && grep -q '"slot": "4B"' "$work/$1"; }
imported() { qdlctl schedule | holds '4B    4       2027-01-02  06:07:08  weekend   096   ON'; }
windows_help() {
    qdlctl_exe '/?' >"$work/help.txt"
    grep -qF '%APPDATA%\quadrel4816\QDL4816.ini' "$work/help.txt" && grep -qF '%QDL4816_PASSWORD%' "$work/help.txt" &&
        grep -q 'Ctrl-Break' "$work/help.txt" && ! grep -qE '~/\.config|\$QDL4816_PASSWORD|SIGTERM' "$work/help.txt"
}
# Both programs carry their version and a manifest.
resources() {
    local program texts
    for program in "$exe" "$window_exe"; do
        texts=$(x86_64-w64-mingw32-strings -n 3 -el "$program")
        grep -A1 -x ProductVersion <<<"$texts" | grep -qx "$version" &&
            grep -q 'requestedExecutionLevel' <<<"$(x86_64-w64-mingw32-strings "$program")" || return 1
    done
}
# Ctrl-C: wine hands SIGINT to the console program as Ctrl-C. The program is signalled by the
# process id it runs as (the subshell becomes wine, and wine the program).
ctrl_c() {
    (cd "$work" && exec wine "$exe" cycle 1 --off-time 60) >"$work/ctrl-c.out" 2>&1 &
    local pid=$! status=0
    for _ in $(seq 100); do
        [ "$(grep -c 'CMD=GetPower' "$work/switch.log")" -ge "$1" ] && break
        sleep 0.1
    done
    kill -INT "$pid" || true
    wait "$pid" || status=$?
    cat "$work/ctrl-c.out"
    [ "$status" -eq 130 ] && grep -q 'Stopped by Ctrl-C' "$work/ctrl-c.out" && grep -q 'outlet 1: ON' "$work/ctrl-c.out"
}

version=$(sed -n 's/^project(Quadrel4816 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
check "qdlctl.exe /? shows the help, in Windows' own places and keys" windows_help
check "both programs carry a version resource and a manifest" resources
check "status" exits 0 '4 *OFF' status
check "on 2" exits 0 'outlet 2: ON' on 2
check "the switch shows outlet 2 on" shows_outlet 2 true
check "cycle 2 --off-time 1" exits 0 'outlet 2: ON' cycle 2 --off-time 1
check "the cycle switched outlet 2 off, then on" cycled
check "schedule set" exits 0 '4B' schedule set 4B --date 2027-01-02 --time 06:07:08 --repeat weekend --on
check "schedule export to a file named in Japanese" exported スケジュール.json
# A device is written as it is, never replaced by a file of that name; - is standard output.
check "schedule export to NUL writes the device, not a file" eval \
    'qdlctl_exe schedule export NUL && [ ! -e "$work/NUL" ] && [ ! -e "$work/nul" ]'
check "schedule export - prints the entries" eval 'qdlctl_exe schedule export - | holds "\"slot\": \"4B\""'
check "schedule clear" exits 0 'disable' schedule clear 4B
check "schedule import from it" exits 0 'as in the file' schedule import スケジュール.json
check "the switch shows the imported entry" imported
japanese_exits() { LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 exits "$@"; }
check "a user name and password in Japanese arrive in the ANSI code page" japanese_exits 0 '4 *OFF' \
    --host 127.0.0.1 --port "$named_port" --user 山田 --password パスワード status
check "a refused port exits 1 with socket error 10061" exits 1 'socket error 10061' --host 127.0.0.1 --port 1 status
check "a bad outlet exits 2" exits 2 "'7' is not an outlet" on 7
# Another switch than the settings file names: its credentials are given, not taken from the file.
check "a stuck outlet exits 3" exits 3 'outlet 3 shows OFF, not ON' --host 127.0.0.1 --port "$(cat "$work/stuck.port")" \
    --password 40617253 on 3
# A user who types a file name wants a file: names Windows takes as devices are refused.
device_names_refused() {
    local name
    for name in aux.json nul.txt com1.txt "\\\\?\\$(windows_path "$work")\\NUL"; do
        exits 2 "names the device" schedule export "$name" || return 1
    done
    exits 2 "names the device" schedule import nul.txt && [ ! -e "$work/NUL" ] && [ ! -e "$work/aux.json" ]
}
check "file names Windows takes as devices are refused with exit 2" device_names_refused
# The console's code page is the shell's again when qdlctl.exe ends (932 for a Japanese system).
code_page_kept() {
    local pages
    pages=$(cd "$work" && LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 script -qec \
        "wine cmd /c 'chcp & $(windows_path "$exe") --version & chcp'" /dev/null | tr -d '\r' | grep -o '[0-9][0-9]*$' | grep -v '^0$')
    echo "$pages"
    [ "$(echo "$pages" | head -n 1)" = "$(echo "$pages" | tail -n 1)" ] && [ "$(echo "$pages" | wc -l)" -ge 2 ]
}
check "qdlctl.exe gives the console its code page back" code_page_kept
# Once the cycle's off step is confirmed (the third GetPower from now), Ctrl-C.
check "Ctrl-C during a cycle switches the outlet on again and exits 130" \
    ctrl_c $(($(grep -c 'CMD=GetPower' "$work/switch.log") + 2))

# The exporter under wine: one probe of the stand-in switch, and a target it does not name; then
# the hostile clients, ending with Ctrl-C (SIGINT, which wine hands on as a console event) while
# clients drip.
exporter_exe=$PWD/build-windows/exporter/qdl4816_exporter.exe
start_exporter_exe() { # LISTEN-HOST: sets exporter_port and exporter_pid
    printf '[rack1]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nPass=40617253\r\nOutlet2=lamp\r\n' "$port" >"$work/exporter.ini"
    exporter_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    (cd "$work" && exec wine "$exporter_exe" --config.file exporter.ini --web.listen-address "$1:$exporter_port") \
        >"$work/exporter.log" 2>&1 &
    exporter_pid=$!
    for _ in $(seq 100); do curl -sf "http://127.0.0.1:$exporter_port/-/healthy" >/dev/null && break; sleep 0.2; done
}
stop_exporter_exe() {
    kill -INT "$exporter_pid" 2>/dev/null || true
    wait "$exporter_pid" || true
}
exporter_probe() {
    local status=0
    start_exporter_exe localhost
    curl -sf "http://127.0.0.1:$exporter_port/probe?target=RACK1" >"$work/probe.txt" || status=1
    cat "$work/probe.txt"
    grep -qx 'qdl4816_up{switch="rack1"} 1' "$work/probe.txt" &&
        grep -qx 'qdl4816_outlet_on{outlet="2",name="lamp",switch="rack1"} [01]' "$work/probe.txt" &&
        [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$exporter_port/probe?target=127.0.0.1")" = 400 ] ||
        status=1
    stop_exporter_exe
    return "$status"
}
check "qdl4816_exporter.exe listens on localhost, probes the stand-in switch and refuses other targets" exporter_probe
exporter_hostile() {
    local status=0
    start_exporter_exe 127.0.0.1
    build-rel/tests/support/qdl-hostile-clients --port "$exporter_port" --target rack1 --pid "$exporter_pid" --resets --stop ||
        status=$?
    stop_exporter_exe
    [ "$status" -eq 0 ] || cat "$work/exporter.log"
    return "$status"
}
check "qdl4816_exporter.exe holds against idle, slow, resetting and hostile clients and stops at once on Ctrl-C" \
    exporter_hostile
check "qdl4816_exporter.exe refuses a web configuration, and names its configuration in ProgramData" eval \
    '! wine "$exporter_exe" --web.config.file "$work/exporter.ini" 2>&1 | tee "$work/web.txt" >/dev/null &&
     grep -q "not available on Windows" "$work/web.txt" && wine "$exporter_exe" --help | holds "ProgramData"'

# ---- the window, driven from another process ----

# In a folder whose name lies outside the ANSI code page. Its settings file names the stand-in
# switch from the start, so that no click, even after a failed check, reaches the factory address
# (a switch on the LAN); it lacks the user name and password, which Exit writes.
window_folder=$work/山田
mkdir -p "$window_folder"
printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\n' "$port" >"$window_folder/QDL4816.ini"
# The status bar shows the hint of the control under the pointer, and Xvfb starts with the pointer
# at the centre of the screen, where the centred window has its Refresh button. Every window
# starts with the pointer parked in the screen's corner, away from it.
driver pointer 0 0
(cd "$window_folder" && exec wine "$window_exe") >"$work/window.log" 2>&1 &
echo $! >"$work/window.pid"
requests() { grep -c "$1" "$work/switch.log" || true; }
answers_box() { # TITLE TEXT
    driver box >"$work/box.txt" && cat "$work/box.txt" && [ "$(head -n 1 "$work/box.txt")" = "$1" ] &&
        [ "$(tail -n +2 "$work/box.txt")" = "$2" ]
}
shows() { [ "$(driver "$@")" = "$(cat)" ]; }
transmitted() {
    qdlctl set 1=on 2=off 3=off 4=off >/dev/null && driver type Edit1 127.0.0.1 && driver type Edit2 "$port" &&
        driver click SpeedButton1 && shows outlets <<<1000
}
toggled() { driver click PB2 && shows outlets <<<1100 && shows_outlet 2 true; }
all_on() { driver click SpeedButton3 && shows outlets <<<1111 && qdlctl status | grep -c ' ON' | grep -qx 4; }
schedule_loaded() {
    qdlctl schedule set 2A --date 2027-03-04 --time 05:06:07 --repeat everyday --on >/dev/null &&
        driver page 1 && shows text DateTimePicker5 <<<2027/03/04 && shows text DateTimePicker6 <<<05:06:07 &&
        shows selected ComboBox5 <<<2 && shows selected ComboBox6 <<<1
}
submitted() {
    local before
    before=$(requests 'CMD=SetSchedule')
    driver click SpeedButton5 && [ "$(requests 'CMD=SetSchedule')" -eq $((before + 8)) ] &&
        grep -q 'SetSchedule+Power=2A+YY=2027+MM=03+DD=04+HH=05+MN=06+SS=07+PARAM=127+ONOFF=1' "$work/switch.log" &&
        driver page 0
}
refused() {
    driver type Edit2 1 && driver click SpeedButton1 && answers_box "Quadrel 4816" $'Socket Error # 10061\nConnection refused.' &&
        driver type Edit2 "$port" && driver click SpeedButton1
}
exited() {
    driver menu CloseX1 && driver closed &&
        [ "$(cat "$window_folder/QDL4816.ini")" = "$(printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=admin\r\nPass=40617253\r\n\r' "$port")" ]
}
# What a screen reader finds through MSAA, from another process: every control it can reach
# named, the indicators as toggles that tell the switch's state, and their action switching an
# outlet with a state-changed event.
reads() { reader show "$1" | tr -d '\r' | holds -xF "$2"; }
named_on_both_pages() {
    reader named >"$work/named-1.txt" && driver page 1 && reader named >"$work/named-2.txt" && driver page 0 &&
        grep -qxF $'1002\tIP Address' "$work/named-1.txt" && grep -qxF $'1009\tPassword' "$work/named-1.txt" &&
        grep -qxF $'1416\tEntry 8 on/off' "$work/named-2.txt" && grep -qxF $'1305\tEntry 3 date' "$work/named-2.txt"
}
unknown_toggles() {
    reads PB1 'role=checkbutton name=Outlet 1 state=mixed action=Toggle shortcut=Ctrl+1' &&
        reads Panel2 'role=checkbutton name=Power state=mixed,readonly action= shortcut=' &&
        reads Memo1 'role=text name=Ratings state=readonly action= shortcut=' &&
        reads StatusBar1 'role=statusbar name=Status state= action= shortcut='
}
states_read() {
    reads PB1 'role=checkbutton name=Outlet 1 state=checked action=Toggle shortcut=Ctrl+1' &&
        reads PB3 'role=checkbutton name=Outlet 3 state= action=Toggle shortcut=Ctrl+3' &&
        reads Panel2 'role=checkbutton name=Power state=checked,readonly action= shortcut='
}
# The indicator shows the requested state before the request goes out (as after a click): the
# switch is read once the window has sent it, which the switch's log tells (within 10 s).
sent_after() { # SETPOWER-COUNT-BEFORE
    for _ in $(seq 100); do [ "$(requests 'CMD=SetPower')" -gt "$1" ] && return 0; sleep 0.1; done
    return 1
}
reader_toggles_outlet_3() { # SHOWN-STATE OUTLETS ON
    local before
    before=$(requests 'CMD=SetPower')
    reader toggle PB3 | tr -d '\r' | holds -xF "role=checkbutton name=Outlet 3 state=$1 action=Toggle shortcut=Ctrl+3" &&
        shows outlets <<<"$2" && sent_after "$before" && shows_outlet 3 "$3"
}
toggled_by_reader() { reader_toggles_outlet_3 checked 1010 true && reader_toggles_outlet_3 '' 1000 false; }
check "the window shows" driver shown
check "the status bar shows the credit line" eval '[ "$(driver text StatusBar1)" = $'"'"'\tQuadrel 4816 Ver.0.1  (C) Tarnwell'"'"' ]'
check "before the first read the indicators are toggles in no known state" unknown_toggles
check "Transmit reads the outlets the switch shows" transmitted
check "the indicators tell a screen reader what the switch showed" states_read
check "a screen reader finds every control it reaches named, on both pages" named_on_both_pages
check "an indicator's default action switches its outlet and announces the change" toggled_by_reader
check "a click on outlet 2's panel switches it on" toggled
check "All On switches every outlet on" all_on
check "the Schedule page loads the switch's entries" schedule_loaded
check "Submit writes the eight entries as the page shows them" submitted
check "a refused port shows the failure box" refused
check "Exit writes QDL4816.ini in a folder named in Japanese" exited
check "qdlctl.exe reads the settings the window wrote there" eval \
    '(cd "$window_folder" && wine "$exe" status) | holds "4 *ON"'

# The settings file in the system's code page (Shift JIS on a Japanese system) reads back the
# same, and its user name and password reach the switch as the texts they are.
sjis_folder=$work/sjis
mkdir -p "$sjis_folder"
printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=山田\r\nPass=パスワード\r\n\r\n' "$named_port" |
    iconv -f UTF-8 -t SHIFT_JIS >"$sjis_folder/QDL4816.ini"
cp "$sjis_folder/QDL4816.ini" "$work/sjis-before.ini"
japanese_window() {
    driver pointer 0 0
    (cd "$sjis_folder" && LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 exec wine "$window_exe") >>"$work/window.log" 2>&1 &
    driver shown && shows text Edit3 <<<山田 && shows text Edit4 <<<パスワード && driver click SpeedButton1 &&
        shows outlets <<<0000 && driver menu CloseX1 && driver closed && cmp "$work/sjis-before.ini" "$sjis_folder/QDL4816.ini"
}
check "a Shift JIS settings file shows, authenticates and is written back byte for byte" japanese_window
check "qdlctl.exe reads the Shift JIS settings file" eval \
    '(cd "$sjis_folder" && LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine "$exe" status) | holds "4 *OFF"'

# ---- what the user typed is kept ----

# Starts the window in FOLDER, with the pointer parked away from it; its process id in window.pid.
start_window() { # FOLDER
    driver pointer 0 0
    (cd "$1" && exec wine "$window_exe") >>"$work/window.log" 2>&1 &
    echo $! >"$work/window.pid"
}
# A window a failed check left open ends here, so that the next check finds only its own.
end_window() { # STATUS
    kill -9 "$(cat "$work/window.pid")" 2>/dev/null || true
    return "$1"
}
# The window's process has ended (within 30 s).
window_ended() {
    local pid
    pid=$(cat "$work/window.pid")
    for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}
settings_text() { printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=山田\r\nPass=40617253\r\n\r\n' "$port"; }
# Saved by Notepad as "UTF-8" (with a mark) and as "Unicode" (UTF-16 little-endian).
marked_files_kept() {
    local kind folder
    for kind in utf-8 utf-16; do
        folder=$work/marked-$kind
        mkdir -p "$folder"
        if [ "$kind" = utf-8 ]; then
            { printf '\xEF\xBB\xBF'; settings_text; } >"$folder/QDL4816.ini"
        else
            { printf '\xFF\xFE'; settings_text | iconv -f UTF-8 -t UTF-16LE; } >"$folder/QDL4816.ini"
        fi
        cp "$folder/QDL4816.ini" "$work/marked-before.ini"
        start_window "$folder"
        driver shown && shows text Edit3 <<<山田 && driver menu CloseX1 && driver closed &&
            cmp "$work/marked-before.ini" "$folder/QDL4816.ini" || return 1
    done
}
# 山田 under code page 1252: the file becomes UTF-8 with a mark instead of "??".
outside_code_page_kept() {
    local folder=$work/cp1252
    mkdir -p "$folder"
    printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\n' "$port" >"$folder/QDL4816.ini"
    start_window "$folder"
    driver shown && driver type Edit3 山田 && driver menu CloseX1 && driver closed &&
        [ "$(head -c 3 "$folder/QDL4816.ini" | od -An -tx1 | tr -d ' ')" = efbbbf ] &&
        grep -q 'UserName=山田' "$folder/QDL4816.ini"
}
session_end_saves() {
    local folder=$work/session
    mkdir -p "$folder"
    printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=admin\r\n' "$port" >"$folder/QDL4816.ini"
    start_window "$folder"
    driver shown && driver type Edit3 operator && wineboot --end-session >/dev/null 2>&1 && window_ended &&
        grep -q 'UserName=operator' "$folder/QDL4816.ini"
}
close_during_startup_box_ends() {
    local folder=$work/folder-ini
    mkdir -p "$folder/QDL4816.ini"
    start_window "$folder"
    driver shown && wine taskkill /IM QDL4816.exe >/dev/null 2>&1 && window_ended || end_window 1
}
tab_selects_nothing() {
    local folder=$work/tab box
    mkdir -p "$folder"
    printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=admin\r\nPass=40617253\r\n' "$port" >"$folder/QDL4816.ini"
    start_window "$folder"
    driver shown && [ "$(driver focus)" = Edit1 ] || end_window 1 || return 1
    for box in Edit2 Edit3 Edit4; do
        driver tab && [ "$(driver focus)" = "$box" ] && read -r start end <<<"$(driver selection "$box")" &&
            [ "$start" = "$end" ] || end_window 1 || return 1
    done
    driver menu CloseX1 && driver closed
}
huge_file_refused() {
    local folder=$work/huge
    mkdir -p "$folder"
    head -c 25000000 /dev/zero | tr '\0' '\n' >"$folder/QDL4816.ini"
    start_window "$folder"
    driver shown && driver box >"$work/box.txt" && cat "$work/box.txt" && grep -q 'more than 1 MiB' "$work/box.txt" &&
        driver menu CloseX1 && driver closed && [ "$(stat -c %s "$folder/QDL4816.ini")" -eq 25000000 ] &&
        [ -z "$(tr -d '\n' <"$folder/QDL4816.ini" | head -c 1)" ]
}
check "a UTF-8 and a UTF-16 settings file show their values and survive Exit byte for byte" marked_files_kept
check "a value the code page lacks survives Exit in a UTF-8 file" outside_code_page_kept
check "ending the session saves the typed user name" session_end_saves

# Starts the window in FOLDER as a system of LANG (C: code page 1252; ja_JP.UTF-8: 932).
start_window_as() { # LANG FOLDER
    driver pointer 0 0
    (cd "$2" && LANG=$1 LC_ALL=$1 exec wine "$window_exe") >>"$work/window.log" 2>&1 &
    echo $! >"$work/window.pid"
}
# The record in the file's own encoding: ansi (the bytes as given), utf-8 (with a mark), utf-16.
encoded_record() { # KIND USER PASS-BYTES
    local record
    record=$(printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=%s\r\nPass=%s\r\n\r\n_' "$port" "$2" "$3")
    record=${record%_}
    case $1 in
    ansi) printf '%s' "$record" ;;
    utf-8) printf '\xEF\xBB\xBF%s' "$record" ;;
    utf-16) printf '\xFF\xFE'; printf '%s' "$record" | iconv -f UTF-8 -t UTF-16LE ;;
    esac
}
# Values whose bytes are no text in the code page (UTF-8 without a mark read under 932 ends in a
# lead byte without its trail, as Notepad's default files do; 0x81, 0x8D and 0x90 are no
# characters of 1252), and the files Notepad saves with a mark: start and Exit leave every byte;
# an edited user name changes its own line alone, in the file's encoding.
values_kept_byte_for_byte() {
    local lang kind pass folder n=0
    for lang in C ja_JP.UTF-8; do
        for kind in ansi utf-8 utf-16; do
            n=$((n + 1))
            folder=$work/bytes-$n
            mkdir -p "$folder"
            case $kind-$lang in
            ansi-C) pass=$'\x81\x8d\x90' ;;
            ansi-*) pass=$'\xe3\x83\x89\xe3\x83\x89' ;;
            *) pass=パスワード ;;
            esac
            encoded_record "$kind" admin "$pass" >"$folder/QDL4816.ini"
            # Start and Exit with nothing typed: for the bytes no code page shows (the files with a
            # mark are checked so above).
            if [ "$kind" = ansi ]; then
                cp "$folder/QDL4816.ini" "$work/bytes-before.ini"
                start_window_as "$lang" "$folder"
                { driver shown && driver menu CloseX1 && driver closed; } ||
                    { echo "$kind under $lang: the window did not start and end"; end_window 1; return 1; }
                cmp "$work/bytes-before.ini" "$folder/QDL4816.ini" || { echo "$kind under $lang changed"; return 1; }
            fi
            start_window_as "$lang" "$folder"
            { driver shown && driver type Edit3 operator && driver menu CloseX1 && driver closed; } ||
                { echo "$kind under $lang: the window did not take the edit and end"; end_window 1; return 1; }
            encoded_record "$kind" operator "$pass" | cmp - "$folder/QDL4816.ini" ||
                { echo "$kind under $lang: the edit changed more than its line"; return 1; }
        done
    done
}
check "values no code page can show survive Exit byte for byte under 1252 and 932; an edit changes its line alone" \
    values_kept_byte_for_byte

# Two windows, each its own process (the window's logic with a face that only records), closing
# at the same moment, 20 rounds: one whole record stays, and the window whose save came second
# (whose record stays) told its user; the other said nothing.
settings_window_exe=$PWD/build-windows/tests/qdl-settings-window.exe
two_windows_round() { # FOLDER
    local folder=$1 stayed other n status1=0 status2=0
    for n in 1 2; do
        printf '[QDL4816]\r\nIPV4=127.0.0.%s\r\nPort=80\r\nUserName=admin\r\nPass=40617253\r\n\r\n' "$n" >"$work/record$n.ini"
    done
    printf '[QDL4816]\r\nIPV4=127.0.0.9\r\nPort=80\r\nUserName=admin\r\nPass=40617253\r\n\r\n' >"$folder/QDL4816.ini"
    rm -f "$work/go1" "$work/go2" "$work/w1.out" "$work/w2.out"
    mkfifo "$work/go1" "$work/go2"
    (cd "$folder" && exec wine "$settings_window_exe" 127.0.0.1 <"$work/go1" >"$work/w1.out" 2>&1) &
    local p1=$!
    (cd "$folder" && exec wine "$settings_window_exe" 127.0.0.2 <"$work/go2" >"$work/w2.out" 2>&1) &
    local p2=$!
    exec 7>"$work/go1" 8>"$work/go2"
    for _ in $(seq 300); do grep -q ready "$work/w1.out" && grep -q ready "$work/w2.out" && break; sleep 0.1; done
    # A window that left before it was told to close fails the round, not the whole script.
    { (echo go >&7) || true; (echo go >&8) || true; } 2>/dev/null
    exec 7>&- 8>&-
    wait "$p1" || status1=$?
    wait "$p2" || status2=$?
    if [ "$status1" -ne 0 ] || [ "$status2" -ne 0 ]; then
        echo "the windows exited $status1 and $status2:"
        cat "$work/w1.out" "$work/w2.out"
        return 1
    fi
    if cmp -s "$work/record1.ini" "$folder/QDL4816.ini"; then stayed=w1 other=w2
    elif cmp -s "$work/record2.ini" "$folder/QDL4816.ini"; then stayed=w2 other=w1
    else echo "a mixed record:"; cat "$folder/QDL4816.ini"; return 1; fi
    grep -q 'box: The settings file .* was saved by another window' "$work/$stayed.out" && ! grep -q 'box:' "$work/$other.out" ||
        { echo "not told:"; cat "$work/w1.out" "$work/w2.out"; return 1; }
}
two_windows_closing() {
    local folder=$work/two-windows round
    mkdir -p "$folder"
    for round in $(seq 20); do two_windows_round "$folder" || { echo "round $round"; return 1; }; done
}
check "two window processes closing at once, 20 rounds: one record stays and the second to save says so" \
    two_windows_closing

# Two real windows, each a process of its own, opened at once on a folder without a settings file
# and closed at the same moment: with the factory values both hold, neither says a word; with
# other ports, one whole record stays and exactly one box says, within a second, that the other
# window's values were replaced. Ten rounds each.
real_windows_round() { # FOLDER PORT1 PORT2 BOXES
    local folder=$1 p1 p2 status=0
    rm -f "$folder/QDL4816.ini"
    (cd "$folder" && exec wine "$window_exe") >>"$work/window.log" 2>&1 &
    p1=$!
    (cd "$folder" && exec wine "$window_exe") >>"$work/window.log" 2>&1 &
    p2=$!
    driver pair "$2" "$3" >"$work/pair.out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || kill -9 "$p1" "$p2" 2>/dev/null || true
    wait "$p1" "$p2" 2>/dev/null || true
    cat "$work/pair.out"
    [ "$status" -eq 0 ] && [ "$(grep -c '^box after' "$work/pair.out")" -eq "$4" ] || return 1
    [ "$4" -eq 0 ] || grep -q '^box after [0-9]\{1,3\} ms: The settings file .* was saved by another window' "$work/pair.out"
}
real_windows() { # PORT1 PORT2 BOXES
    local folder=$work/real-windows round
    mkdir -p "$folder"
    for round in $(seq 10); do
        real_windows_round "$folder" "$@" || { echo "round $round"; return 1; }
        [ "$1" = - ] || grep -Eq "^Port=(${1}|${2})"$'\r'"\$" "$folder/QDL4816.ini" || { echo "round $round:"; cat "$folder/QDL4816.ini"; return 1; }
    done
}
check "two real windows opened at once on no file and closed together, 10 rounds: no box" real_windows - - 0
check "two real windows closed together with other ports, 10 rounds: one record, one box within 1 s" \
    real_windows 8081 8082 1

# Another program holds the settings file without sharing it while the window saves: for 300 ms
# the save waits and succeeds without a word; for 5 s it is reported and the old file stays.
hold_exe=$PWD/build-windows/tests/qdl-hold-file.exe
held_while_saving() { # MILLISECONDS
    local folder=$work/held-$1 status=0
    mkdir -p "$folder"
    printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\nUserName=admin\r\nPass=40617253\r\n\r\n' "$port" >"$folder/QDL4816.ini"
    cp "$folder/QDL4816.ini" "$work/held-before.ini"
    start_window "$folder"
    { driver shown && driver type Edit3 operator; } || { end_window 1; return 1; }
    (cd "$folder" && exec wine "$hold_exe" QDL4816.ini "$1") >"$work/hold.out" 2>&1 &
    local holder=$!
    for _ in $(seq 300); do grep -q held "$work/hold.out" && break; sleep 0.1; done
    driver menu CloseX1
    if [ "$1" -lt 1000 ]; then
        driver closed && grep -q 'UserName=operator' "$folder/QDL4816.ini" || status=1
    else
        driver box >"$work/box.txt" && cat "$work/box.txt" && grep -q 'QDL4816.ini' "$work/box.txt" && driver closed &&
            cmp "$work/held-before.ini" "$folder/QDL4816.ini" || status=1
    fi
    wait "$holder"
    [ "$status" -eq 0 ] || end_window 1
}
check "a file another program holds for 300 ms is saved without a word" held_while_saving 300
check "a file another program holds for 5 s: the save is reported, the old file stays" held_while_saving 5000
check "a close request while a start-up box is open ends the program" close_during_startup_box_ends
check "the address box has the focus, and Tab selects nothing" tab_selects_nothing
check "a settings file of 25 million lines is refused and kept" huge_file_refused
utf16_read_by_qdlctl() {
    mkdir -p "$work/utf-16"
    { printf '\xFF\xFE'; printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\n' "$port" | iconv -f UTF-8 -t UTF-16LE; } \
        >"$work/utf-16/QDL4816.ini"
    (cd "$work/utf-16" && wine "$exe" status) | holds "4 *O[NF]"
}
check "qdlctl.exe reads a UTF-16 settings file" utf16_read_by_qdlctl

# ---- the release, and the MSI installed, upgraded and uninstalled ----

release=$work/release
release_files "$version" "$release"
mkdir -p dist
msi=dist/quadrel4816-$version-x64.msi
build_msi "$version" "$release" "$msi"
build_msi "$version" "$release" "$work/rebuild.msi"
build_msi "$version.1" "$release" "$work/newer.msi"
zip_file=dist/quadrel4816-$version-windows-x86_64.zip
build_zip "$release" "quadrel4816-$version-windows-x86_64" "$zip_file"

install_folder=$(wine_path "Program Files/Quadrel 4816")
user_folder=$(wine_path "users/$(id -un)/AppData/Roaming")
shortcut="$user_folder/Microsoft/Windows/Start Menu/Programs/Quadrel 4816.lnk"
uninstall_entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ { key = $0 } /DisplayName.*Quadrel 4816/ { print key }'
}
entry_value() { # NAME
    local key
    key=$(uninstall_entries | head -n 1)
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/.*$1 *REG_[A-Z_]* *//p"
}
system_path() {
    wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH | tr -d '\r'
}
# Installs MSI once no program of the prefix runs any more (a window the last check closed may
# still be ending, holding its files), and says how msiexec ended.
installed() { # MSI
    local status=0
    wine_restart
    wine msiexec /i "$(windows_path "$1")" /qn || status=$?
    echo "msiexec /i $(basename "$1") exited $status; uninstall entries: $(uninstall_entries | wc -l)"
    [ "$status" -eq 0 ] &&
        for file in QDL4816.exe qdlctl.exe LICENSE.txt README.txt; do test -f "$install_folder/$file" || return 1; done
}
# The shortcut starts the window in its own folder, the same for every user: no user's settings
# folder is fixed in it at install time.
shortcut_made() {
    test -f "$shortcut" && x86_64-w64-mingw32-strings -el "$shortcut" | holds -F 'Program Files\Quadrel 4816' &&
        ! x86_64-w64-mingw32-strings -el "$shortcut" | holds -iF 'AppData'
}
one_entry() { # VERSION
    [ "$(uninstall_entries | wc -l)" -eq 1 ] && [ "$(entry_value DisplayVersion)" = "$1" ] &&
        [ "$(entry_value Publisher)" = Tarnwell ]
}
start_from_menu() {
    driver pointer 0 0
    wine start "C:\\users\\$(id -un)\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Quadrel 4816.lnk"
}
# Whoever starts it from the menu gets their own %APPDATA%\quadrel4816, made again when missing.
started_from_menu() {
    rm -rf "$user_folder/quadrel4816"
    start_from_menu && driver shown && driver menu CloseX1 && driver closed &&
        grep -q 'IPV4=192.168.10.100' "$user_folder/quadrel4816/QDL4816.ini" && [ ! -e "$install_folder/QDL4816.ini" ] &&
        printf '[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=%s\r\n' "$port" >"$user_folder/quadrel4816/QDL4816.ini" &&
        start_from_menu && driver shown && driver click SpeedButton1 && shows outlets <<<1111 && driver menu CloseX1 &&
        driver closed && grep -q 'UserName=admin' "$user_folder/quadrel4816/QDL4816.ini"
}
# Started in Program Files, which a standard user may not write (as root under wine a read-only
# file stands in), the window keeps its settings in the user's own folder and leaves it alone.
install_folder_left_alone() {
    printf '[QDL4816]\r\nIPV4=127.0.0.9\r\nPort=%s\r\nUserName=admin\r\nPass=40617253\r\n' "$port" \
        >"$install_folder/QDL4816.ini"
    chmod a-w "$install_folder/QDL4816.ini"
    cp "$install_folder/QDL4816.ini" "$work/readonly-before.ini"
    driver pointer 0 0
    (cd "$install_folder" && exec wine ./QDL4816.exe) >>"$work/window.log" 2>&1 &
    driver shown && shows text Edit1 <<<127.0.0.1 && driver menu CloseX1 && driver closed &&
        cmp "$work/readonly-before.ini" "$install_folder/QDL4816.ini"
    local status=$?
    rm -f "$install_folder/QDL4816.ini"
    return "$status"
}
nothing_left() {
    [ ! -e "$install_folder" ] && [ ! -e "$shortcut" ] && [ -z "$(uninstall_entries)" ] &&
        ! system_path | holds 'Quadrel 4816' && ! wine reg query 'HKCU\Software\Tarnwell' >/dev/null 2>&1
}

check "the MSI installs both programs in Program Files" installed "$msi"
check "the Start-menu shortcut starts the window in its own folder, the same for every user" shortcut_made
check "the install folder is on the system's PATH" eval 'system_path | holds -F "C:\\Program Files\\Quadrel 4816"'
check "one uninstall entry, with version and publisher" one_entry "$version"
check "the shortcut's window keeps its settings in the user's %APPDATA%\\quadrel4816, made when missing" started_from_menu
check "started in Program Files, the window keeps its settings in the user's folder" install_folder_left_alone
check "a rebuild of the same version replaces the installed one" eval 'installed "$work/rebuild.msi" && one_entry "$version"' 
check "a newer MSI replaces the older one" eval 'installed "$work/newer.msi" && one_entry "$version.1"'
check "uninstalling leaves nothing behind but the user's settings" eval \
    'wine msiexec /x "$(windows_path "$work/newer.msi")" /qn && nothing_left && test -f "$user_folder/quadrel4816/QDL4816.ini"'
check "the zip holds both programs" eval 'zip -sf "$zip_file" | holds QDL4816.exe && zip -sf "$zip_file" | holds qdlctl.exe'
# The portable zip, unpacked and started in its own folder beside a QDL4816.ini, uses that file and
# writes it there, not in %APPDATA%.
portable_uses_its_file() {
    local folder=$work/portable/quadrel4816-$version-windows-x86_64
    rm -rf "$work/portable" && python3 -m zipfile -e "$zip_file" "$work/portable" &&
        printf '[QDL4816]\r\nIPV4=127.0.0.9\r\nPort=%s\r\nUserName=admin\r\nPass=40617253\r\n\r\n' "$port" \
            >"$folder/QDL4816.ini" || return 1
    driver pointer 0 0
    (cd "$folder" && exec wine ./QDL4816.exe) >>"$work/window.log" 2>&1 &
    driver shown && shows text Edit1 <<<127.0.0.9 && driver type Edit3 portable && driver menu CloseX1 &&
        driver closed && grep -q 'UserName=portable' "$folder/QDL4816.ini" &&
        ! grep -qs 'UserName=portable' "$user_folder/quadrel4816/QDL4816.ini"
}
check "the portable program started in its folder keeps the QDL4816.ini beside it" portable_uses_its_file

finish_checks "$work/switch.log" "$work/stuck.log" "$work/named.log" "$work/window.log"
rm -f "dist/qdlctl-$version-windows-x86_64.zip"
echo "all Windows checks passed; $msi and $zip_file"
