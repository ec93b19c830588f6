#!/usr/bin/env bash
# The windowed Ulo under Wine, started from a console (a tmux pane), ended from outside while its
# window is open: by Ctrl+C typed into the console, and by the end of the user's session told to
# the window. Both go through the normal exit: the exit code of a program ended by Ctrl+C, the
# screen saver (off while the window is open) switched back on, and the line typed in the window
# kept in data.dat.
#
#   win32_window_ending_session.sh WINE ULO_EXE SESSION_END_EXE
source "$(dirname "${BASH_SOURCE[0]}")/win32_session_start.sh"
wine=$1
ulo=$2
session=$3
[ -n "${DISPLAY:-}" ] || fail "no X display for the window"
socket=ulo-win32-ending-$$
end_session_too() { tmux -L "$socket" kill-server 2>/dev/null; }

pane=
screen() { tmux -L "$socket" capture-pane -p -t "$pane"; }
show_failure() { echo "the pane shows:"; screen; }
window=
find_window() {
    window=$(xdotool search --onlyvisible --name '^ulo$' 2>/dev/null | head -n1)
    [ -n "$window" ]
}
screen_saver_is() { [ "$("$wine" "$session" screen-saver | tr -d '\r')" = "$1" ]; }
stored() { grep -q '^"hello",' data.dat 2>/dev/null; }
ended() { screen | grep -q "status=58$"; } # 0xC000013A, of which the shell sees the low byte

"$wine" "$session" screen-saver-on || fail "cannot switch the screen saver on"
for ending in ctrl-c end-session; do
    echo "ended by $ending"
    rm -f data.dat
    pane=$ending
    tmux -L "$socket" new-session -d -s "$pane" -x 80 -y 25 -c "$work" \
        "VXGFX=GDI '$wine' '$ulo'; echo status=\$?; sleep 600"
    wait_for "the window" find_window
    wait_for "the screen saver off while the window is open" screen_saver_is off
    xdotool windowfocus --sync "$window"
    xdotool type --delay 20 hello
    xdotool key Return
    wait_for "the line typed in the window stored" stored
    if [ "$ending" = ctrl-c ]; then
        tmux -L "$socket" send-keys -t "$pane" C-c
    else
        "$wine" "$session" end-session || fail "the end of the session was not told"
    fi
    wait_for "the end with the exit code of Ctrl+C" ended
    screen_saver_is on || fail "the screen saver stayed off: the exit routines did not run"
    [ "$(head -c 8 data.dat)" = '"hello",' ] || fail "data.dat holds: $(od -c data.dat)"
    wait_for "the window gone" eval '! find_window'
done
echo "window ending session: passed"
