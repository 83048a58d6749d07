# shellcheck shell=bash
# The bookkeeping of a script that proves a program with checks: one line per check, the
# commands' output kept in $work/checks.log, and a failing exit at the end when any check missed.
# The sourcing script sets `work`, its temporary folder.
: "${work:?the script sets work, its temporary folder, before sourcing this}"

failures=0

# Runs COMMAND and reports WHAT as passed when it succeeds.
check() { # WHAT COMMAND...
    local what=$1
    shift
    if "$@" >>"$work/checks.log" 2>&1; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

# Succeeds when the standard input holds a line that grep's ARGUMENTS match. The input is read
# whole first: `grep -q` leaves at the first match, and the writer that then meets the closed pipe
# fails the whole pipeline under pipefail, however right its output was.
holds() { # GREP-ARGUMENTS...
    local text
    text=$(cat)
    grep -q "$@" <<<"$text"
}

# Exits 1 after showing the checks' log and the LOGS when any check missed.
finish_checks() { # LOGS...
    [ "$failures" -eq 0 ] && return 0
    echo "$failures checks failed; the logs:" >&2
    tail -n 40 "$work/checks.log" "$@" >&2 2>/dev/null || true
    exit 1
}
