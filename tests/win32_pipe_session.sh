#!/usr/bin/env bash
# Ulo under Wine with its input from a pipe, as a script runs it: the transcript has the shape it
# has on Linux (the banner, an empty line, each typed line echoed and answered), Ulo ends with
# exit code 0 on "exit", and data.dat holds the same bytes: text in code page 437, taken from
# and given back as UTF-8.
#
#   win32_pipe_session.sh WINE ULO_EXE
source "$(dirname "${BASH_SOURCE[0]}")/win32_session_start.sh"
wine=$1
ulo=$2
# Wine without an X display gives Ulo no window: it talks through its console.
unset DISPLAY
show_failure() {
    echo "the transcript:"
    cat -A transcript
}

status=0
printf 'gr\xc3\xbc\xc3\x9fe\r\nexit\n' | timeout 120 "$wine" "$ulo" >transcript 2>/dev/null || status=$?
[ "$status" -eq 0 ] || fail "exit code $status"

FALLBACKS="I don't know\\.|I'm not sure\\.|I don't understand\\.|No clue what you're talking about\\.|No idea\\.|I don't know how to respond to that\\."
[ "$(sed -n 1p transcript)" = "Ulo V.3 01-09-07" ] || fail "no banner on the first line"
[ -z "$(sed -n 2p transcript)" ] || fail "no empty line after the banner"
sentence=$(printf 'gr\xc3\xbc\xc3\x9fe') # grüße
[ "$(sed -n 3p transcript)" = "$sentence" ] || fail "the sentence not echoed"
sed -n 4p transcript | grep -Exq "$FALLBACKS" || fail "no fallback reply"
# "exit" ends Ulo, also when it answers Ulo's question for a reply to the sentence.
if [ "$(sed -n 5p transcript)" = "$sentence" ]; then
    [ "$(sed -n 6p transcript)" = exit ] || fail "the answer to the question not echoed"
    [ "$(wc -l <transcript)" -eq 6 ] || fail "lines after exit"
else
    [ "$(sed -n 5p transcript)" = exit ] || fail "exit not echoed"
    [ "$(wc -l <transcript)" -eq 5 ] || fail "lines after exit"
fi
expected='"gr\201\341e","&&$&&","&&$&&"\r\n'
if [ "$(od -An -c data.dat)" != "$(printf "$expected" | od -An -c)" ]; then
    echo "FAILED: data.dat holds:" >&2
    od -c data.dat >&2
    exit 1
fi
echo "pipe session: passed"
