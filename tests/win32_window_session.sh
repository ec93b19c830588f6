#!/usr/bin/env bash
# Ulo's window under Wine on the private X server, driven as a person would: by default the
# DirectX window shows a short conversation pixel for pixel, keeps working after Alt+Enter finds
# no full-screen mode on this display, and ends on "exit" with code 0; VXGFX=GDI, and a Wine
# without DirectDraw, get the GDI window instead.
#
#   win32_window_session.sh WINE ULO_EXE TEXT_PICTURES_EXE
source "$(dirname "${BASH_SOURCE[0]}")/win32_session_start.sh"
wine=$1
ulo=$2
text_picture=$3
ulo_pid=
end_session_too() { [ -z "$ulo_pid" ] || kill "$ulo_pid" 2>/dev/null; }

# This run's window: other tests may show windows titled ulo at the same time.
window=
find_window() {
    window=$(xdotool search --onlyvisible --pid "$ulo_pid" --name '^ulo$' 2>/dev/null | head -n1)
    [ -n "$window" ]
}

# picture NAME ROW...: the text screen as Ulo draws it, as NAME.ppm.
picture() {
    local name=$1
    shift
    local IFS=$'\t'
    printf '%s\n' "$name.rgb$IFS$*" | "$wine" "$text_picture" || fail "cannot draw $name.rgb"
    convert -size 640x480 -depth 8 "rgb:$name.rgb" "$name.ppm" || fail "cannot convert $name.rgb"
}

# shows NAME: the window's client area equals NAME.ppm in every pixel.
# import holds the display grabbed while it waits for the window to be visible, which can last
# for ever and stall every client of the display: a capture gets 20 s, and the poll tries again.
shows() {
    find_window || return 1
    timeout 20 import -window "$window" "$work/shown.png" 2>/dev/null || return 1
    [ "$(compare -metric AE "$1.ppm" "$work/shown.png" null: 2>&1)" = 0 ]
}

# The driver can be told apart from outside: only the DirectX window has a maximize box (the
# window manager's maximize function), and only it keeps DirectDraw loaded.
maximizable() {
    local functions
    functions=$(xprop -id "$window" _MOTIF_WM_HINTS | sed -n 's/.*= *[^,]*, *\([^,]*\),.*/\1/p')
    [ $((functions & 0x10)) -ne 0 ]
}
draws_through_directdraw() {
    grep -qi 'ddraw\.dll' "/proc/$ulo_pid/maps"
}

type_line() {
    xdotool windowfocus --sync "$window"
    xdotool type --delay 20 "$1"
    xdotool key Return
}

start_ulo() {
    env "$@" "$wine" "$ulo" >stdout.txt 2>stderr.txt &
    ulo_pid=$!
}

# end_ulo: "exit" ends Ulo with code 0.
end_ulo() {
    type_line exit
    local status=0
    wait "$ulo_pid" || status=$?
    ulo_pid=
    [ "$status" -eq 0 ] || fail "exit code $status; standard error: $(cat stderr.txt)"
}

picture banner "Ulo V.3 01-09-07"
picture answered "Ulo V.3 01-09-07" "" "hello" "hi there"
picture echoed "Ulo V.3 01-09-07" "" "hello" "hi there" "again"

# A known sentence on the last record: its reply, and no teaching step after it.
printf '"hello","hi there","x"\r\n' >data.dat

echo "DirectX, the default"
start_ulo
wait_for "the banner in the window" shows banner
maximizable || fail "the window has no maximize box: not the DirectX window"
draws_through_directdraw || fail "DirectDraw is not loaded"
type_line hello
wait_for "the answer, pixel for pixel" shows answered
# No display mode of this X server fits the picture: the switch comes back to a window (after a
# short-lived full-screen one), which shows the whole picture again and takes keys.
xdotool windowfocus --sync "$window"
framed=$window
xdotool key alt+Return
replaced() { find_window && [ "$window" != "$framed" ]; }
wait_for "a new window after Alt+Enter" replaced
wait_for "the picture after Alt+Enter" shows answered
xdotool type --delay 20 again
wait_for "keys after Alt+Enter" shows echoed
xdotool key ctrl+u Escape
end_ulo

# Inside a Wine desktop of its own the display takes the picture's mode: after Alt+Enter the whole
# desktop is 640 x 480 and shows the picture, and keys still reach Ulo.
echo "DirectX full screen in a virtual desktop"
desktop_name=ulo-full-screen-$$
"$wine" explorer "/desktop=$desktop_name,1024x768" "$ulo" >stdout.txt 2>stderr.txt &
ulo_pid=$!
find_desktop() {
    window=$(xdotool search --name "^$desktop_name - Wine desktop\$" 2>/dev/null | head -n1)
    [ -n "$window" ]
}
wait_for "the virtual desktop" find_desktop
size() { xwininfo -id "$window" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'; }
# Keys reach the window inside the desktop once it is active there: click it, then Alt+Enter, and
# again while the display keeps its size (the window may not be up yet).
switched=
for _ in $(seq 12); do
    xdotool mousemove --window "$window" 512 400 click 1 key alt+Return
    for _ in $(seq 25); do
        [ "$(size)" = 640x480 ] && switched=yes && break
        sleep 0.2
    done
    [ -n "$switched" ] && break
done
[ -n "$switched" ] || fail "the display did not take the 640 x 480 mode"
shows_desktop() {
    timeout 20 import -window "$window" "$work/shown.png" 2>/dev/null &&
        [ "$(compare -metric AE "$1.ppm" "$work/shown.png" null: 2>&1)" = 0 ]
}
wait_for "the picture filling the display" shows_desktop banner
xdotool type --delay 20 hello
xdotool key Return
wait_for "the answer in full screen" shows_desktop answered
xdotool type --delay 20 exit
xdotool key Return
# The desktop outlives Ulo: it is closed by its process's id once Ulo is gone.
desktop_pids=$(pgrep -f "desktop=$desktop_name" || true)
ulo_in_desktop() {
    local pid
    for pid in $(pgrep -x ulo.exe || true); do
        [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$work" ] && return 0
    done
    return 1
}
ulo_ended() { ! ulo_in_desktop; }
wait_for "the end on exit" ulo_ended
for pid in $desktop_pids; do
    kill "$pid" 2>/dev/null || true
done
ulo_pid=

for variant in "VXGFX=GDI" "WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-};ddraw=d"; do
    echo "GDI, with $variant"
    start_ulo "$variant"
    wait_for "the banner in the window" shows banner
    ! maximizable || fail "the window has a maximize box: not the GDI window"
    ! draws_through_directdraw || fail "DirectDraw is loaded"
    end_ulo
done
