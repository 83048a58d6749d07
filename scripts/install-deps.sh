#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the program needs.
# Idempotent: packages already present are skipped, and the package lists are refreshed
# only once, when something is actually missing.
# Usage: install-deps.sh [fuzz] [bench] [cluster] [engines] [package] [windows]   (the extra tools
#        of scripts/fuzz.sh, the benchmarks, the cluster and engine tests, the Debian packaging and
#        the Windows build)
set -euo pipefail

packages=(
    cmake
    g++
    make
    pkg-config
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    libcpp-httplib-dev
    libcli11-dev
    nlohmann-json3-dev
    fence-agents
    libxml2-utils
    xsltproc
    zsh
    fish
    desktop-file-utils
    appstream
    libxcb1-dev
    qt6-base-dev
    qt6-base-private-dev
    qt6-qpa-plugins
    fonts-ipafont-gothic
    xvfb
    dbus-daemon
    at-spi2-core
    python3-pyatspi
    xauth
    x11-utils
    imagemagick
    prometheus
    openssl
    libboost-dev
    libssl-dev
    libyaml-cpp-dev
    python3-yaml
    libmosquitto-dev
    mosquitto
    mosquitto-clients
    python3-dev
    pybind11-dev
    python3-pytest
    python3-mypy
    python3-labgrid
    pdudaemon
    ansible-core
)

for group in "$@"; do
    case "$group" in
    fuzz) packages+=(clang libclang-rt-dev) ;;
    bench) packages+=(hyperfine curl monitoring-plugins-basic prometheus-blackbox-exporter) ;;
    cluster) packages+=(pacemaker pacemaker-cli-utils corosync fence-agents pcs) ;;
    engines) packages+=(powerman python3 prometheus-node-exporter curl) ;;
    package) packages+=(debhelper dh-python dpkg-dev lintian binutils libssl-dev libcrypt-dev) ;;
    windows) packages+=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine googletest zip wixl msitools librsvg2-bin locales python3 curl) ;;
    *) echo "install-deps.sh: unknown group $group (fuzz, bench, cluster, engines, package, windows)" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

# The Windows checks run wine as a Japanese system (LANG=ja_JP.UTF-8). Wine takes the code page
# from the name alone, but the C library under it then falls back to C when the locale was never
# generated, as on a fresh machine, which has only C.utf8: the locale is made once, so that both
# agree.
needs_japanese_locale() {
    [[ " $* " == *" windows "* ]] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'
}

if [ ${#missing[@]} -eq 0 ]; then
    if needs_japanese_locale "$@"; then
        [ "$(id -u)" -eq 0 ] || exec sudo bash "$0" "$@"
        localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
    fi
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "Installing ${missing[*]} needs root: asking sudo." >&2
    exec sudo bash "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
if needs_japanese_locale "$@"; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
