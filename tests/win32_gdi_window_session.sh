#!/usr/bin/env bash
# Ulo's GDI window under Wine on the test session's X server, which has no window manager, so the
# X window is the window's client area. Its 640 x 480 pixels equal, pixel for pixel, pictures drawn
# from the font files by the tests' own helper, while a line is typed and edited (Left,
# Backspace, Delete, Home, End) and a short conversation goes on. The close request (the X
# WM_DELETE_WINDOW message that a window manager's close button sends) and Alt+F4 leave the window
# open and Ulo listening; Alt+Enter gives a new framed window, as there is no full-screen GDI
# window; "exit" ends Ulo with exit code 0 and takes the window away.
#
#   win32_gdi_window_session.sh WINE ULO_EXE TEXT_PICTURES_EXE
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/win32_session_start.sh"
wine=$1
ulo=$2
text_pictures=$3
ulo_pid=
end_session_too() { [ -z "$ulo_pid" ] || kill "$ulo_pid" 2>/dev/null; }
[ -n "${DISPLAY:-}" ] || fail "no X display (DISPLAY) to show the window on"

# The close request, as a few lines of Xlib.
c++ -o close-request "$here/x_close_request.cpp" -lX11 || fail "cannot build the close request"

# Ulo knows an answer to hello, so no fallback reply and no question comes: every picture of the
# conversation is known beforehand.
printf '"hello","Hi there.",""\r\n' >data.dat
cp data.dat data.before

# picture NAME ROW...: the screen NAME.rgb shows, ROWs from the top and the rest blank.
BANNER="Ulo V.3 01-09-07"
pictures=()
picture() {
    local name=$1 IFS=$'\t'
    shift
    pictures+=("$name.rgb$IFS$*")
}
picture start "$BANNER"
picture typed "$BANNER" "" "ell!x"
picture ellx "$BANNER" "" "ellx"
picture ell "$BANNER" "" "ell"
picture hell "$BANNER" "" "hell"
picture hello "$BANNER" "" "hello"
picture answered "$BANNER" "" "hello" "Hi there."
picture again "$BANNER" "" "hello" "Hi there." "hello"
picture answered-again "$BANNER" "" "hello" "Hi there." "hello" "Hi there."
picture exit "$BANNER" "" "hello" "Hi there." "hello" "Hi there." "exit"
printf '%s\n' "${pictures[@]}" | "$wine" "$text_pictures" || fail "cannot draw the pictures"

# shows NAME [OLD_WINDOW]: waits until the window titled ulo (other than OLD_WINDOW) shows the
# picture NAME; it becomes $window, the one keys go to. Never a fixed pause: Wine may take long
# to make the window, and Ulo to echo a key, on a loaded machine.
window=
shows() {
    local want=$1 old=${2:-} deadline=$((SECONDS + 120))
    while [ $SECONDS -lt $deadline ]; do
        window=$(xdotool search --onlyvisible --name '^ulo$' 2>/dev/null | head -n1) || true
        if [ -n "$window" ] && [ "$window" != "$old" ] &&
            timeout 20 import -window "$window" -depth 8 rgb:shown.rgb 2>/dev/null &&
            cmp -s shown.rgb "$want.rgb"; then
            return 0
        fi
        sleep 0.1
    done
    local first
    first=$(cmp shown.rgb "$want.rgb" 2>&1 | sed -n 's/.* byte \([0-9]*\).*/\1/p') || true
    [ -z "$first" ] || echo "first difference at x $(((first - 1) / 3 % 640)), y $(((first - 1) / 3 / 640))" >&2
    fail "the window never showed the picture $want (shown: $(stat -c %s shown.rgb 2>/dev/null) bytes)"
}
keys() {
    timeout 20 xdotool windowfocus --sync "$window" && xdotool key --delay 15 "$@"
}
text() {
    timeout 20 xdotool windowfocus --sync "$window" && xdotool type --delay 15 -- "$1"
}

VXGFX=GDI "$wine" "$ulo" </dev/null >ulo.out 2>&1 &
ulo_pid=$!
shows start
# Framed and centred: the client area sits in the middle across, below the title bar down.
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$X" -eq $(((screen_width - 640) / 2)) ] || fail "the window is not centred across (x $X)"
[ "$Y" -gt $(((screen_height - 480) / 2)) ] && [ "$Y" -lt $(((screen_height - 480) / 2 + 40)) ] ||
    fail "the window is not centred down (y $Y)"

text 'ell!x'
shows typed
keys Left BackSpace
shows ellx
keys Delete
shows ell
keys Home h
shows hell
keys End o
shows hello
keys Return
shows answered

first_window=$window
./close-request "$window" || fail "cannot send the close request"
keys alt+F4
text hello
shows again
[ "$window" = "$first_window" ] || fail "the window was replaced after the close request"
keys Return
shows answered-again

keys alt+Return
shows answered-again "$first_window"

text exit
shows exit
keys Return
for _ in $(seq 1200); do
    kill -0 "$ulo_pid" 2>/dev/null || break
    sleep 0.1
done
! kill -0 "$ulo_pid" 2>/dev/null || fail "Ulo did not end on exit"
status=0
wait "$ulo_pid" || status=$?
ulo_pid=
[ "$status" -eq 0 ] || fail "exit code $status; Ulo said: $(cat ulo.out)"
[ -z "$(xdotool search --onlyvisible --name '^ulo$' 2>/dev/null)" ] || fail "the window stayed"
cmp -s data.dat data.before || fail "data.dat changed: $(od -c data.dat)"
echo "GDI window session: passed"
