#!/usr/bin/env bash
# Figures of the Windows window under Wine (not a test): the processor time Ulo takes while it
# waits for a key in its window, for each driver named, read from the Wine process's own
# accounting (Wine's GetProcessTimes of another process reports almost nothing).
#
#   win32_idle_cpu.sh WINE ULO_EXE DRIVER...     on $DISPLAY, e.g. DirectX GDI
set -euo pipefail
wine=$1
ulo=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
for driver in "$@"; do
    VXGFX=$driver "$wine" "$ulo" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 300); do
        xdotool search --onlyvisible --name '^ulo$' >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 3 # the first passes and paints done
    before=$(ticks "$pid")
    sleep 10
    used=$(($(ticks "$pid") - before))
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    hz=$(getconf CLK_TCK)
    echo "$driver: $used ticks of 1/$hz s in 10 s: $(awk -v t="$used" -v hz="$hz" \
        'BEGIN {printf "%.2f", t / hz / 10 * 100}') % of one core"
    sleep 3 # the window gone
done
