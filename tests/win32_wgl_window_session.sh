#!/usr/bin/env bash
# The OpenGL window under Wine on the test session's X server (no window manager, so the X window
# is the client area), drawn by Mesa's software renderer: after a flip its 640 x 480 pixels are,
# pixel for pixel, the blue picture with the red rectangle the program drew, and Escape typed into
# the window reaches the program through flip, which then ends with exit code 0.
#
#   win32_wgl_window_session.sh WINE GL_PICTURE_EXE
source "$(dirname "${BASH_SOURCE[0]}")/win32_session_start.sh"
wine=$1
program=$2
program_pid=
end_session_too() { [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null; }
[ -n "${DISPLAY:-}" ] || fail "no X display (DISPLAY) to show the window on"

convert -size 640x480 xc:'#0000FF' -fill '#FF0000' -draw 'rectangle 100,50 299,129' \
    expected.png
"$wine" "$program" </dev/null >program.out 2>&1 &
program_pid=$!

# Never a fixed pause: the window appears, is placed and then drawn, each when Wine gets to it.
title="^$(basename "$program" .exe)\$"
deadline=$((SECONDS + 60))
differing=none
window=
while [ $SECONDS -lt $deadline ]; do
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended early: $(cat program.out)"
    window=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n1 || true)
    if [ -n "$window" ] && timeout 20 import -window "$window" shown.png 2>/dev/null; then
        differing=$(compare -metric AE shown.png expected.png null: 2>&1 || true)
        [ "$differing" != 0 ] || break
    fi
    sleep 0.2
done
[ "$differing" = 0 ] || fail "the window does not show the picture (differing pixels: $differing)"

timeout 20 xdotool windowfocus --sync "$window" && xdotool key Escape
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" = 0 ] || fail "the program ended with $status, not 0, after Escape"
echo "the window showed the picture and Escape ended the program"
