#!/usr/bin/env bash
# Builds the Debian packages the Debian way (debhelper and dpkg-buildpackage, from debian/) and
# leaves them in dist/: quadrel4816 (the window), qdlctl (qdlctl, fence_qdl4816, man pages and
# completions), qdl-switch, the exporter, the MQTT bridge, python3-qdl4816 and the Ansible
# collection, with their -dbgsym packages; beside them the collection as ansible-galaxy builds it.
# Then lintian checks them and the .changes, failing on any error or warning, and the binaries
# are checked for the hardening flags.
# With --check-install (as root, on a machine without qdlctl) it also installs the qdlctl package
# with apt, checks that it pulls in no graphical package, and removes it again without a trace.
# --build only builds them into dist/; --checks only checks what dist/ holds.
# Usage: scripts/package.sh [--build | --checks] [--check-install]
set -euo pipefail
cd "$(dirname "$0")/.."
phase=all
case "${1:-}" in --build | --checks) phase=${1#--}; shift ;; esac
check_install=${1:-}

bash scripts/install-deps.sh package
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The build runs in a copy of the sources: dpkg-buildpackage writes beside and inside its tree.
# DEB_BUILD_OPTIONS=nocheck: the README's test command runs the tests.
if [ "$phase" != checks ]; then
    mkdir "$work/quadrel4816"
    tar --exclude='./build*' --exclude=./dist --exclude=./run --exclude=./.git -cf - . | tar -xf - -C "$work/quadrel4816"
    (cd "$work/quadrel4816" && DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -us -uc -b)
    mkdir -p dist
    rm -f dist/*.deb dist/*.changes dist/*.buildinfo dist/quadrel-qdl4816-*.tar.gz
    mv "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo dist/
    HOME=$work ansible-galaxy collection build ansible/ansible_collections/quadrel/qdl4816 --output-path dist
    ls -l dist
    [ "$phase" = all ] || exit 0
fi

lintian --fail-on error,warning --display-info dist/*.changes | tee "$work/lintian.txt"
echo "lintian: no error and no warning"
if grep 'hardening-' "$work/lintian.txt"; then
    echo "a program lacks a hardening flag (above)" >&2
    exit 1
fi

# Every program carries the Debian hardening flags (lintian checks the fortified calls): PIE,
# RELRO with BIND_NOW; and is stripped, its symbols in the -dbgsym package.
for deb in dist/quadrel4816_*.deb dist/qdlctl_*.deb dist/qdl-switch_*.deb dist/prometheus-qdl4816-exporter_*.deb \
    dist/qdl4816-mqtt_*.deb dist/python3-qdl4816_*.deb; do
    dpkg-deb -x "$deb" "$work/unpacked"
done
for program in "$work"/unpacked/usr/bin/* "$work"/unpacked/usr/lib/python3/dist-packages/qdl4816/_native*.so; do
    headers=$(readelf -hld "$program")
    grep -q 'Type:.*DYN' <<<"$headers" || { echo "$program is no PIE or shared object" >&2; exit 1; }
    grep -q 'GNU_RELRO' <<<"$headers" || { echo "$program has no RELRO" >&2; exit 1; }
    grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$headers" || { echo "$program is not bound now" >&2; exit 1; }
    readelf -S "$program" | grep -q '\.debug_info' && { echo "$program is not stripped" >&2; exit 1; }
    echo "hardened and stripped: ${program#"$work"/unpacked}"
done

if [ "$check_install" = --check-install ]; then
    dpkg-query -W qdlctl >/dev/null 2>&1 && { echo "qdlctl is installed already; not checking" >&2; exit 1; }
    depends=$(dpkg-deb -f dist/qdlctl_*.deb Depends | sed 's/([^)]*)//g; s/[|,]/ /g')
    closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances $depends | grep -v '^ ' | sort -u)
    if grep -Ei 'qt|font|xdg|x11|xcb|gl|wayland' <<<"$closure"; then
        echo "the qdlctl package pulls in graphical packages (above)" >&2
        exit 1
    fi
    echo "qdlctl depends on: $(tr '\n' ' ' <<<"$closure")"
    apt-get install -y ./dist/qdlctl_*_amd64.deb >/dev/null
    files=$(dpkg -L qdlctl)
    qdlctl --version
    apt-get remove -y --purge qdlctl >/dev/null
    # Folders stay for other packages (on a merged /usr, /lib is a link to one).
    left=$(for file in $files; do [ ! -d "$file" ] && { [ -f "$file" ] || [ -L "$file" ]; } && echo "$file"; done || true)
    [ -z "$left" ] || { echo "apt remove left: $left" >&2; exit 1; }
    echo "qdlctl installs with apt and leaves nothing when removed"
fi
