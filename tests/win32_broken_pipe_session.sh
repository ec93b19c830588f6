#!/usr/bin/env bash
# Ulo under Wine whose output's reader goes away in the middle of the conversation, as in
# `ulo.exe | head -n 3`: Ulo goes on to the end of its input, ends with exit code 0, and data.dat
# holds every line sent, those after the reader left too.
#
#   win32_broken_pipe_session.sh WINE ULO_EXE
source "$(dirname "${BASH_SOURCE[0]}")/win32_session_start.sh"
wine=$1
ulo=$2
# Wine without an X display gives Ulo no window: it talks through its console.
unset DISPLAY
show_failure() { [ ! -e data.dat ] || od -c data.dat; }

# waits_for FILE: waits (two minutes at most) until FILE exists.
waits_for() {
    local waited=0
    until [ -e "$1" ]; do
        sleep 0.1
        waited=$((waited + 1))
        [ $waited -lt 1200 ] || fail "waited in vain for $1"
    done
}

mkfifo input
# The reader takes three lines (the banner, an empty line, the first echo), then the pipe has no
# reader left; Ulo's own exit code goes to a file, as the pipeline's is the reader's.
{
    timeout 120 "$wine" "$ulo" <input 2>/dev/null && echo 0 >status || echo $? >status
} | {
    head -n 3 >seen
    exec 0<&-
    touch reader-gone
} &
# Lines that Ulo no longer takes (having ended too early) are a failure told below, not the end
# of this script.
trap '' PIPE
exec 3>input
sent=("sentence 0")
printf '%s\r\n' "${sent[0]}" >&3
waits_for reader-gone
for counter in $(seq 1 16); do
    sent+=("sentence $counter")
    printf '%s\r\n' "sentence $counter" >&3 2>/dev/null || true
done
exec 3>&-
wait
[ "$(sed -n 3p seen)" = "sentence 0" ] || fail "the first sentence not echoed"
[ "$(cat status)" = 0 ] || fail "exit code $(cat status)"

# What data.dat must hold: each line sent was a new sentence, or the answer to the question
# about the oldest unknown sentence, moved to the end with its reply (a line found as a reply
# in data.dat was an answer).
keys=()
replies=()
for line in "${sent[@]}"; do
    if grep -qF "\",\"$line\",\"" data.dat; then
        for i in "${!keys[@]}"; do
            [ "${replies[$i]}" = '&&$&&' ] || continue
            keys+=("${keys[$i]}")
            replies+=("$line")
            unset "keys[$i]" "replies[$i]"
            break
        done
    else
        keys+=("$line")
        replies+=('&&$&&')
    fi
done
for i in "${!keys[@]}"; do
    printf '"%s","%s","&&$&&"\r\n' "${keys[$i]}" "${replies[$i]}"
done >expected
cmp -s expected data.dat || fail "data.dat is not the conversation's"
echo "broken pipe session: passed"
