#!/usr/bin/env bash
# Ulo in the Win32 console under Wine, in a tmux pane as a person sees it: the banner on the top
# row, a line typed and edited (Left, Home, End, Backspace, Escape), an answer, and the end on
# "exit" with exit code 0 and the sentence stored. Then a second run ended by Ctrl+C, through the
# normal exit (what was stored stays) with the exit code of a program ended by Ctrl+C.
#
#   win32_console_session.sh WINE ULO_EXE
source "$(dirname "${BASH_SOURCE[0]}")/win32_session_start.sh"
wine=$1
ulo=$2
# Wine without an X display gives Ulo no window: it talks through its console.
unset DISPLAY
socket=ulo-win32-console-$$
end_session_too() { tmux -L "$socket" kill-server 2>/dev/null; }

# The pane of the run being driven: each run gets a session of its own, so that the banner seen is
# that run's and no key is typed before it reads them.
pane=first
screen() { tmux -L "$socket" capture-pane -p -t "$pane"; }
keys() { tmux -L "$socket" send-keys -t "$pane" "$@"; }
# Row N (1-based) without its trailing blanks.
row() { screen | sed -n "${1}p" | sed 's/ *$//'; }
row_is() { [ "$(row "$1")" = "$2" ]; }
row_matches() { row "$1" | grep -Eq "$2"; }
shows() { screen | grep -Fxq "$1"; }
show_failure() { echo "the pane shows:"; screen; }
# Home and End as the console under Wine takes them from tmux.
HOME_KEY=$'\e[H'
END_KEY=$'\e[F'
FALLBACKS="I don't know\\.|I'm not sure\\.|I don't understand\\.|No clue what you're talking about\\.|No idea\\.|I don't know how to respond to that\\."

tmux -L "$socket" new-session -d -s first -x 80 -y 25 -c "$work" \
    "'$wine' '$ulo'; echo ulo-status=\$?; sleep 600"
wait_for "the banner on the top row" row_is 1 "Ulo V.3 01-09-07"
row_is 2 ""

keys -l "helo wrld"
wait_for "the typed line's echo" row_is 3 "helo wrld"
keys Left Left Left
keys -l o
keys "$HOME_KEY"
keys -l H
keys "$END_KEY"
keys -l "!!"
keys BSpace
wait_for "the edited line" row_is 3 "Hhelo world!"
keys Escape
wait_for "the line emptied by Escape" row_is 3 ""
keys -l hello
keys Enter
wait_for "a fallback reply below the line" row_matches 4 "^($FALLBACKS)$"
row_is 3 hello

# "exit" ends Ulo, or is taught as the reply when Ulo asked for one; then the next one ends it.
for _ in 1 2; do
    keys -l exit
    keys Enter
    for _ in $(seq 100); do
        shows "ulo-status=0" && break
        sleep 0.1
    done
    shows "ulo-status=0" && break
done
wait_for "the end with exit code 0" shows "ulo-status=0"

# A second run, in a console of its own.
pane=second
tmux -L "$socket" new-session -d -s second -x 80 -y 25 -c "$work" \
    "'$wine' '$ulo'; echo second-status=\$?; sleep 600"
wait_for "the second run's banner" row_is 1 "Ulo V.3 01-09-07"
keys -l again
keys Enter
wait_for "a fallback reply to again" row_matches 4 "^($FALLBACKS)$"
keys C-c
# 0xC000013A, of which the shell sees the low byte.
wait_for "the end by Ctrl+C" shows "second-status=58"
if [ "$(head -c 18 "$work/data.dat")" != '"hello","&&$&&","&' ] ||
    ! grep -q '^"again",' "$work/data.dat"; then
    echo "FAILED: data.dat holds:" >&2
    od -c "$work/data.dat" >&2
    exit 1
fi
echo "console session: passed"
