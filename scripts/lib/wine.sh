# shellcheck shell=bash
# Wine on a virtual X display of the script's own: a fresh prefix in $work/wine, its wineserver
# for the script's whole run, an Xvfb that the script started (and stops by its process id), and
# the settings a window test needs.
: "${work:?the script sets work, its temporary folder, before sourcing this}"

export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

wine_reg() { wine reg add "$@" /f >/dev/null 2>&1; }

# Starts Xvfb on a display number it picks itself, then makes the prefix.
wine_up() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/xvfb.display" >"$work/xvfb.log" 2>&1 &
    echo $! >"$work/xvfb.pid"
    for _ in $(seq 100); do [ -s "$work/xvfb.display" ] && break; sleep 0.1; done
    [ -s "$work/xvfb.display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; return 1; }
    export DISPLAY=:$(cat "$work/xvfb.display")
    wineboot --init >/dev/null 2>&1 || true
    # Debian keeps wine's own fonts (Tahoma for captions and boxes, Marlett for the caption
    # buttons) where this wine does not look for them: the prefix gets copies.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Captions and message boxes use Tahoma, which has no Japanese glyphs: link it to a Japanese
    # font of the system. Wine may rewrite the link when it updates the prefix, so every run sets it.
    wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
        /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic'
    # Without a window manager, wine waits two seconds for each managed window to be withdrawn.
    wine_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
    wineserver -w
    wine_serve
}

# From here the server stays up until wine_down. Left to itself it leaves three seconds after the
# last program ends, and a program that starts while it leaves exits 1 without a word. Wine's own
# services, which then stay up too, start here: started by a program of a check, they would hold
# that program's output open, and whoever reads it (CTest, a command substitution) would wait on.
wine_serve() {
    wineserver -p
    wineboot >/dev/null 2>&1
}

# Ends every program of the prefix and starts its server again, to stay up.
wine_restart() {
    wineserver -k
    wineserver -w
    wine_serve
}

# Stops this prefix's wine processes, then the display.
wine_down() {
    wineserver -k 2>/dev/null || true
    local pid
    pid=$(cat "$work/xvfb.pid" 2>/dev/null) && kill "$pid" 2>/dev/null || true
}

# A folder of the prefix as Linux sees it: drive C's path below drive_c.
wine_path() { printf '%s/drive_c/%s' "$WINEPREFIX" "$1"; }

# A Linux file as Windows programs name it: on drive Z, which is the Linux root.
windows_path() { realpath "$1" | sed 's|^|Z:|; s|/|\\|g'; }
