#!/usr/bin/env bash
# Ulo's setup program and portable archive for Windows, made by cpack from this build and tried
# under Wine as a user would: the setup program installs silently into Program Files, with a
# Start-menu entry "Ulo" that shows the program's icon and starts Ulo in the profile folder of
# whoever starts it, and an entry in the list of installed programs; Ulo started from that entry
# talks through a pipe and keeps its knowledge there; the uninstaller, silently too, removes every
# trace of the program and leaves the knowledge alone. The archive holds the program, the licence
# and a read-me.
#
#   win32_install_session.sh WINE CPACK SOURCE_DIR BUILD_DIR SHORTCUT_HELPER
set -euo pipefail
wine=$1
cpack=$2
source_dir=$3
build_dir=$4
shortcut=$5
# The Start-menu entry gets no menu entry on the Unix desktop: this machine is left as it was.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"
prefix=${WINEPREFIX:-$HOME/.wine}
work=$(mktemp -d)
uninstaller=

fail() {
    echo "FAILED: $1" >&2
    exit 1
}

# A Unix path as Wine's drive Z names it, and a Windows path as the Unix side sees it.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
unix_path() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# registry_value KEY NAME: the value NAME of the registry key KEY; fails when there is none.
registry_value() {
    "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | grep .
}

# wait_until WHAT COMMAND...: runs COMMAND until it succeeds; fails with WHAT after two minutes.
wait_until() {
    local what=$1 deadline=$((SECONDS + 120))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || fail "$what"
        sleep 0.2
    done
}

# LICENSE with Windows line ends, as the packages carry it.
windows_text() { sed 's/$/\r/' "$1"; }

cleanup() {
    # A test that failed half-way uninstalls what it installed.
    if [ -n "$uninstaller" ] && [ -e "$uninstaller" ]; then
        timeout 120 "$wine" "$uninstaller" /S >/dev/null 2>&1 || true
        local deadline=$((SECONDS + 60))
        while [ -e "$uninstaller" ] && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
    fi
    if [ -n "${profile:-}" ]; then
        rm -f "$profile/data.dat"
        [ ! -e "$work/data.dat.before" ] || mv "$work/data.dat.before" "$profile/data.dat"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

"$cpack" -G "NSIS;ZIP" --config "$build_dir/CPackConfig.cmake" -B "$work/made" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack made no packages"; }
setup=$(find "$work/made" -maxdepth 1 -name 'ulo-*-win*.exe')
archive=$(find "$work/made" -maxdepth 1 -name 'ulo-*-win*.zip')
[ -n "$setup" ] && [ -n "$archive" ] || fail "no setup program or no archive"

# The archive: the program, the licence and the read-me in one folder, the texts with Windows
# line ends; the program runs from there.
mkdir "$work/unzipped"
(cd "$work/unzipped" && unzip -q "$archive")
folder=$(find "$work/unzipped" -mindepth 1 -maxdepth 1 -type d)
[ "$(cd "$folder" && find . -type f | sort | tr '\n' ' ')" = "./LICENSE.txt ./README.txt ./ulo.exe " ] ||
    fail "the archive holds: $(cd "$work/unzipped" && find . | tr '\n' ' ')"
cmp -s <(windows_text "$source_dir/LICENSE") "$folder/LICENSE.txt" || fail "LICENSE.txt is not LICENSE"
[ "$(grep -c $'\r$' "$folder/README.txt")" -eq "$(wc -l <"$folder/README.txt")" ] ||
    fail "README.txt has Unix line ends"
version=$(cd "$folder" && env -u DISPLAY timeout 120 "$wine" ./ulo.exe --version 2>/dev/null | tr -d '\r')
[ "$(sed -n 2p <<<"$version")" = "Copyright (c) 2026 The Ulo developers, under the MIT licence." ] ||
    fail "the archive's ulo.exe --version says: $version"

# The setup program's pages begin with the licence, from the same LICENSE.txt.
script=$(find "$work/made/_CPack_Packages" -name project.nsi)
grep -q "MUI_PAGE_LICENSE \"$build_dir/packaging/LICENSE.txt\"" "$script" ||
    fail "the setup program shows no licence"

status=0
timeout 300 "$wine" "$setup" /S >/dev/null 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the setup program ended with exit code $status"

program_files=$(unix_path "$("$wine" cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')")
installed="$program_files/Ulo"
for file in ulo.exe LICENSE.txt README.txt Uninstall.exe; do
    [ -f "$installed/$file" ] || fail "no $file in $installed"
done
cmp -s <(windows_text "$source_dir/LICENSE") "$installed/LICENSE.txt" || fail "the installed licence"

# The entry in the list of installed programs, with the program's icon and its uninstaller.
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ulo'
[ "$(registry_value "$key" DisplayName)" = Ulo ] || fail "no Ulo among the installed programs"
[ "$(unix_path "$(registry_value "$key" DisplayIcon)")" = "$installed/ulo.exe" ] ||
    fail "the installed program's entry shows $(registry_value "$key" DisplayIcon || true)"
uninstall_command=$(registry_value "$key" UninstallString) || fail "no uninstaller registered"
uninstaller=$(unix_path "${uninstall_command//\"/}")
[ "$uninstaller" = "$installed/Uninstall.exe" ] || fail "the uninstaller is $uninstall_command"

# The Start-menu entry: the program's icon, and a command that starts the installed program in
# the profile folder of the one who starts it.
link=$(find "$prefix/drive_c" -path '*/Start Menu/Programs/Ulo/Ulo.lnk' | head -n1)
[ -n "$link" ] || fail "no Start-menu entry Ulo"
"$wine" "$shortcut" "$(windows_path "$link")" 2>/dev/null | tr -d '\r' >"$work/link"
icon=$(sed -n 4p "$work/link")
[ "$(unix_path "${icon%,*}")" = "$installed/ulo.exe" ] && [ "${icon##*,}" = 0 ] ||
    fail "the Start-menu entry's icon is $icon"

# The profile folder of Wine's user, where a data.dat of an earlier run is put aside meanwhile.
profile=$(unix_path "$("$wine" cmd /c echo %USERPROFILE% 2>/dev/null | tr -d '\r')")
[ -d "$profile" ] || fail "no profile folder $profile"
if [ -e "$profile/data.dat" ]; then
    mv "$profile/data.dat" "$work/data.dat.before"
fi
elsewhere="$work/elsewhere"
mkdir "$elsewhere"
before=$(ls -A "$installed")
status=0
(cd "$elsewhere" && printf 'hello\nexit\n' |
    env -u DISPLAY timeout 120 "$wine" "$shortcut" --start "$(windows_path "$link")" \
        >"$work/transcript" 2>/dev/null) || status=$?
[ "$status" -eq 0 ] || fail "Ulo from the Start menu ended with exit code $status: $(cat "$work/link")"
[ "$(head -n1 "$work/transcript" | tr -d '\r')" = "Ulo V.3 01-09-07" ] ||
    fail "no banner from the Start-menu entry: $(cat -A "$work/transcript")"
knowledge='"hello","&&$&&","&&$&&"\r\n'
[ "$(od -An -c "$profile/data.dat")" = "$(printf "$knowledge" | od -An -c)" ] ||
    fail "the knowledge is not in the profile folder; the entry runs: $(cat "$work/link")"
[ -z "$(ls -A "$elsewhere")" ] || fail "Ulo wrote into the folder it was started from"
[ "$(ls -A "$installed")" = "$before" ] || fail "Ulo wrote into Program Files"

# Uninstalling: the uninstaller hands over to a copy of itself and ends at once, so its work is
# waited for.
status=0
timeout 120 "$wine" "$uninstaller" /S >/dev/null 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the uninstaller ended with exit code $status"
wait_until "the program's folder is left: $(ls -A "$installed" 2>/dev/null | tr '\n' ' ')" \
    test ! -e "$installed"
wait_until "the Start-menu entry is left" test ! -e "$(dirname "$link")"
wait_until "Ulo is left among the installed programs" \
    eval '! "$wine" reg query "$key" >/dev/null 2>&1'
! "$wine" reg query 'HKLM\Software\The Ulo developers' >/dev/null 2>&1 ||
    fail "the program's registry key is left"
uninstaller=
[ "$(od -An -c "$profile/data.dat")" = "$(printf "$knowledge" | od -An -c)" ] ||
    fail "uninstalling changed the knowledge"
echo "setup session: passed"
