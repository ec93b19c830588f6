# The start the Windows session scripts share, sourced first: strict mode, and a work folder of
# the script's own that it runs in and that goes away when it ends. A script that has more to end
# (a program it started, a tmux server) defines end_session_too; fail reports what went wrong,
# with what the script's show_failure adds when it defines one, and ends the script; wait_for
# waits for a condition.
set -euo pipefail
work=$(mktemp -d)
end_session() {
    if declare -F end_session_too >/dev/null; then
        end_session_too || true
    fi
    rm -rf "$work"
}
trap end_session EXIT
cd "$work"

fail() {
    echo "FAILED: $*" >&2
    if declare -F show_failure >/dev/null; then
        show_failure >&2 || true
    fi
    exit 1
}

# wait_for WHAT TEST...: polls TEST until it holds; after 60 s the test fails with WHAT.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 600); do
        "$@" && return 0
        sleep 0.1
    done
    fail "$what"
}
