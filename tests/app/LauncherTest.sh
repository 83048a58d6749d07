#!/bin/sh
# The menu's launcher starts the window in the user's settings folder, made private when missing.
# Usage: LauncherTest.sh LAUNCHER   (a launcher whose window is a stand-in printing its folder)
set -eu
launcher=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() { echo "$*" >&2; exit 1; }

folder=$(HOME=$home XDG_CONFIG_HOME='' sh "$launcher")
[ "$folder" = "$home/.config/quadrel4816" ] || fail "started in $folder, not in ~/.config/quadrel4816"
[ "$(stat -c %a "$folder")" = 700 ] || fail "the folder is not private to its user"
folder=$(HOME=$home XDG_CONFIG_HOME=$home/elsewhere sh "$launcher")
[ "$folder" = "$home/elsewhere/quadrel4816" ] || fail "started in $folder, not under XDG_CONFIG_HOME"
folder=$(HOME=$home XDG_CONFIG_HOME=relative sh "$launcher")
[ "$folder" = "$home/.config/quadrel4816" ] || fail "a relative XDG_CONFIG_HOME was taken"
