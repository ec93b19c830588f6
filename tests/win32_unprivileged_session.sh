#!/usr/bin/env bash
# The Windows tests of read-only files (FILTER) where permissions bind: Wine started by root writes
# anything, so as root they run as the system user nobody, in a Wine prefix of that user's own
# (a prefix serves one user only). What they print is CTest's to judge: a skip fails.
#
#   win32_unprivileged_session.sh WINE TESTS_EXE FILTER
set -euo pipefail
wine=$1
tests=$2
filter=$3
if [ "$(id -u)" -ne 0 ]; then
    exec "$wine" "$tests" --gtest_filter="$filter"
fi
home=$(mktemp -d)
chown nobody: "$home"
as_nobody=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups
    env -i PATH="$PATH" HOME="$home" WINEPREFIX="$home/prefix" WINEARCH="${WINEARCH:-win32}"
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=")
finish() {
    "${as_nobody[@]}" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$home"
}
trap finish EXIT
"${as_nobody[@]}" "$wine" "$tests" --gtest_filter="$filter" </dev/null
