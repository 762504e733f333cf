#!/bin/sh
# shellcheck disable=SC2015,SC2012 # "A && B || fail" means either; ls only names leftovers in messages
# The Windows installer and game under Wine, as a school's IT and a pupil would meet them:
#   tests/windows/check-windows.sh <build/windows>
# The folder holds what tools/dev.sh windows makes (the installer, the MSI package, the stage). A
# fresh Wine prefix in a temporary folder; a silent install; then a table of checks, each
# printed as PASS, FAIL or SKIPPED with its reason (the MSI's in another). Exits 1 if any failed.
#
# The game is played on the X server in DISPLAY with xdotool and window titles (Wine has no
# AT-SPI) and heard on the PulseAudio server in PULSE_SERVER through the monitor of its sink
# "nullsink": tools/dev.sh windows-test starts both. Without DISPLAY the game's checks are
# skipped, without PULSE_SERVER the sound's. A failure leaves the work folder, with a
# screenshot, for a look.
set -eu

version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
[ $# -eq 1 ] && [ -f "$1/corvalto-$version-setup.exe" ] || {
    echo "usage: $0 <folder with corvalto-$version-setup.exe>" >&2
    exit 2
}
built=$(cd "$1" && pwd)
setup=$built/corvalto-$version-setup.exe
zip=$built/Corvalto-$version-windows-x64.zip
msi=$built/corvalto-$version-x64.msi
for tool in wine wineboot wineserver strings x86_64-w64-mingw32-gcc-posix wixl msiinfo; do
    command -v "$tool" >/dev/null || {
        echo "$tool is not installed (tools/dev.sh windows installs it)" >&2
        exit 2
    }
done

# Root ignores the read-only attribute, which a pupil's account meets: as root, the script runs
# again as nobody, on copies of what it reads, in a folder nobody owns (its prefix inside), with
# the sound server reached through a socket of its own there.
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || {
        echo "setpriv is not installed (package util-linux)" >&2
        exit 2
    }
    here=$(mktemp -d "${TMPDIR:-/tmp}/corvalto-wine-nobody.XXXXXX")
    mkdir -p "$here/src/tests/windows" "$here/src/packaging" "$here/built" "$here/tmp"
    cp "$0" "$(dirname "$0")/holdopen.c" "$here/src/tests/windows/"
    cp "$(dirname "$0")/../../CMakeLists.txt" "$here/src/"
    cp -R "$(dirname "$0")/../../packaging/windows" "$here/src/packaging/"
    cp -R "$setup" "$msi" "$built/stage" "$here/built/"
    [ ! -f "$zip" ] || cp "$zip" "$here/built/"
    chown -R 65534:65534 "$here"
    module="" pulse=""
    if [ -n "${PULSE_SERVER:-}" ] && command -v pactl >/dev/null &&
        module=$(pactl load-module module-native-protocol-unix "socket=$here/pulse" auth-anonymous=1); then
        pulse="unix:$here/pulse"
    fi
    status=0
    setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$here" TMPDIR="$here/tmp" \
        ${pulse:+PULSE_SERVER="$pulse"} sh "$here/src/tests/windows/check-windows.sh" "$here/built" ||
        status=$?
    [ -z "$module" ] || pactl unload-module "$module" || true
    if [ "$status" -eq 0 ]; then rm -rf "$here"; fi
    exit "$status"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/corvalto-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# No mono or gecko prompts, and no menu entries written into the home folder for the shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# prefix <folder>: the Wine prefix the checks look into.
prefix() {
    export WINEPREFIX="$1"
    drive_c=$WINEPREFIX/drive_c
    program_dir="$drive_c/Program Files/Corvalto"
    record_dir=$drive_c/ProgramData/Corvalto
}
prefix "$work/prefix"
program='C:\Program Files\Corvalto\corvalto.exe'
uninstaller='C:\Program Files\Corvalto\disinstalla.exe'
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Corvalto.lnk"
icon='C:\Program Files\Corvalto\corvalto.ico'
installed_files="corvalto.exe disinstalla.exe plugins/platforms/qwindows.dll suoni/laser.wav"
program_sddl='O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvalto'
# The main window: a 608 x 672 client area below the menu bar, as tests/system checks it.
client_width=608
client_height=672

why="" game_pid="" game_run=0 main="" recording="" clicked="" failures=0 holder=""

cleanup() {
    stop_game
    release
    [ -z "$recording" ] || kill "$recording" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "left for a look: $work" >&2; fi
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# ---- Waiting, the game, its windows --------------------------------------------------------

# no <why> / skip <why>: the check fails, or cannot run here, for that reason.
no() {
    why=$1
    return 1
}
skip() {
    why=$1
    return 77
}

# within <seconds> <what> <command...>: polls the command until it succeeds; false, with why
# naming <what>, after the deadline.
within() {
    tries=$(($1 * 5)) what=$2
    shift 2
    until "$@"; do
        ! { [ -n "$game_pid" ] && game_ended; } ||
            no "the game ended while waiting for $what" || return
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || no "nothing after the wait for $what" || return
        sleep 0.2
    done
}

start_game() {
    game_run=$((game_run + 1))
    LC_ALL=C.UTF-8 wine "$program" >"$work/game$game_run.log" 2>&1 &
    game_pid=$!
}

# ended_with <status>: waits for the game that has ended; false unless it gave that status.
ended_with() {
    status=0
    wait "$game_pid" || status=$?
    game_pid=""
    [ "$status" -eq "$1" ] || no "the game ended with status $status, not $1"
}

# zip_game <folder> <name>: the zip unpacked into that folder (a Unix path in drive_c), its game
# started there and greeted under that name; sets main.
zip_game() {
    [ -f "$zip" ] || skip "no $(basename "$zip")" || return
    mkdir -p "$1" && (cd "$1" && cmake -E tar xf "$zip") || no "the zip did not unpack" || return
    installed_program=$program
    program="$1/Corvalto-$version/corvalto.exe"
    greet "$2"
    started=$?
    program=$installed_program
    return "$started"
}

# click_board: the board clicked above the targets, what sounds then recorded if it can be.
click_board() {
    if [ -n "${PULSE_SERVER:-}" ] && command -v parec >/dev/null; then
        parec -d nullsink.monitor --format=s16le --rate=44100 --channels=1 >"$work/sound.raw" &
        recording=$!
        sleep 1
    fi
    geometry "$main"
    # The disabled button above the board lets the click through, as on Linux.
    xdotool mousemove $((X + 307)) $((Y + HEIGHT - client_height + 25)) click 1
}

# Ended, or a zombie that only waits for its status.
game_ended() {
    case $(ps -o stat= -p "$game_pid" 2>/dev/null) in
    '' | Z*) return 0 ;;
    *) return 1 ;;
    esac
}

stop_game() {
    [ -n "$game_pid" ] || return 0
    kill "$game_pid" 2>/dev/null || true
    wait "$game_pid" 2>/dev/null || true
    game_pid=""
}

# newest_window [not-these-ids]: sets found to the game's newest visible window titled
# "Corvalto" other than the given ones (the prompt, the boxes and the main window all are).
newest_window() {
    found=$(xdotool search --onlyvisible --pid "$game_pid" --name '^Corvalto$' 2>/dev/null |
        grep -vxF -e none ${1:+-e "$1"} ${2:+-e "$2"} | tail -n 1) || true
    [ -n "$found" ]
}

# geometry <window>: sets X Y WIDTH HEIGHT.
geometry() {
    WIDTH=""
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" && [ -n "$WIDTH" ]
}

# press <window> <key...>: false, with nothing sent, if the window cannot take the focus.
press() {
    w=$1
    shift
    xdotool windowfocus --sync "$w" 2>/dev/null && xdotool key --delay 60 "$@"
}

# Wine may swap the X window of a window it is showing: these find it again until the focus holds.
# type_new <text> [not-these-ids]: types it and Return into the newest window; sets found.
type_new() {
    typed=$1
    shift
    newest_window "$@" && xdotool windowfocus --sync "$found" 2>/dev/null &&
        LC_ALL=C.UTF-8 xdotool type --delay 60 -- "$typed" && xdotool key Return
}
# press_new <key> [not-these-ids]
press_new() {
    key=$1
    shift
    newest_window "$@" && press "$found" "$key"
}

# cyan_on <window>: the moving targets are the only cyan on the board.
cyan_on() {
    geometry "$1"
    import -silent -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" -depth 8 "rgb:$work/board.rgb" &&
        [ "$(od -An -v -tu1 -w3 "$work/board.rgb" | grep -Ecx ' +0 +255 +255')" -gt 0 ]
}

# greet <name>: from the start to the main window, the one window taller than any box; sets main.
greet() {
    main=""
    start_game
    within 90 "the name prompt" type_new "$1" || return 1
    prompt=$found
    within 30 "the greeting after the name" press_new Return "$prompt" || return 1
    within 30 "the main window" main_window || return 1
    main=$found
}

main_window() {
    newest_window && geometry "$found" && [ "$HEIGHT" -gt 400 ]
}

# leave: Exit (Alt+X) on the main window, then accepts each box until the game ends; sets boxes.
leave() {
    within 10 "the main window to take Alt+X" press "$main" alt+x || return 1
    boxes=0 last="" left=150
    while ! game_ended; do
        # A box that missed its key (Wine moves the focus late under load) is pressed again.
        if newest_window "$main" && press "$found" Return && [ "$found" != "$last" ]; then
            boxes=$((boxes + 1)) last=$found
        fi
        [ "$boxes" -le 3 ] || no "more than 3 boxes after Exit" || return
        sleep 0.3
        left=$((left - 1))
        [ "$left" -gt 0 ] || no "the game did not end after Exit ($boxes boxes)" || return
    done
    ended_with 0
}

# stopped <name> <text>: the game, given that name, stops at the record with a box that says the
# text (read from the clipboard, where Qt's boxes on Windows copy theirs on Ctrl+C), and ends
# with 1 once it is accepted.
stopped() {
    start_game
    within 90 "the name prompt" type_new "$1" || return 1
    prompt=$found
    within 30 "the greeting after the name" press_new Return "$prompt" || return 1
    greeting=$found
    within 30 "the box's text on the clipboard" says "$2" || return 1
    left=100
    while ! game_ended; do
        ! box_window || press "$found" Return || true
        left=$((left - 1))
        [ "$left" -gt 0 ] || no "the game did not end after its box" || return
        sleep 0.3
    done
    ended_with 1
}

# A box after the greeting: a window of the game other than those two, smaller than the board.
box_window() {
    newest_window "$prompt" "$greeting" && geometry "$found" && [ "$HEIGHT" -le 400 ]
}

says() {
    box_window && press "$found" ctrl+c &&
        xclip -o -selection clipboard >"$work/box.txt" 2>/dev/null && grep -qF "$1" "$work/box.txt"
}

# preset <score-bytes> <name-bytes>: printf formats for the two record files.
preset() {
    # shellcheck disable=SC2059 # the formats are the contents
    printf -- "$1" >"$record_dir/avelmora.txt" && printf -- "$2" >"$record_dir/velmora.txt"
}

# holds <file> <printf format>: the file holds exactly these bytes.
holds() {
    # shellcheck disable=SC2059
    printf -- "$2" >"$work/expected"
    [ -f "$1" ] || no "$(basename "$1") is missing" || return
    cmp -s "$1" "$work/expected" ||
        no "$(basename "$1") holds [$(od -An -c "$1" | tr -s ' \n' '  ')]" || return
}

needs_display() {
    [ -n "${DISPLAY:-}" ] ||
        skip "no X server: DISPLAY is not set (tools/dev.sh windows-test starts one)" || return
    command -v xdotool >/dev/null && command -v import >/dev/null ||
        skip "xdotool or import (imagemagick) is missing"
}

needs_game() {
    needs_display || return
    [ -x "$program_dir/corvalto.exe" ] || skip "the game is not installed"
}

needs_clipboard() {
    needs_game || return
    command -v xclip >/dev/null || skip "xclip is missing" || return
}

needs_main() {
    [ -n "$main" ] && [ -n "$game_pid" ] ||
        skip "needs the main window of the game being played" || return
}

install() { wine "$setup" /S; }

# uninstall [switch]: the registered "<uninstaller>" /S _?=<folder>, the switch after /S. Wine
# quotes an argument holding a space: the rest goes word by word, to arrive as registered.
uninstall() {
    quiet=$(wine reg query "$uninstall_key" /v QuietUninstallString /reg:64 | tr -d '\r' |
        sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
    # shellcheck disable=SC2086 # split, not globbed
    (set -f && exec wine "$uninstaller" /S "$@" ${quiet#*\" /S })
}

# hold <file>: another program keeps the file open, without sharing, until release.
hold() {
    wine "$work/holdopen.exe" "$1" 600 >"$work/held" 2>&1 &
    holder=$!
    within 30 "the file to be held" grep -q held "$work/held"
}
release() { [ -z "$holder" ] || { kill "$holder" && wait "$holder"; } 2>/dev/null; holder=""; }
# entries: how many entries named Corvalto installed apps has.
entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null |
        tr -d '\r' | grep -c '^ *DisplayName *REG_SZ *Corvalto$'
}

# msiexec <arguments>: silent, with a log; the exit code as Wine gives it, modulo 256: 0 done,
# 67 for 1603 (Wine's for a failed custom action is 1627, 91), 194 for 3010.
msiexec() { wine msiexec "$@" /qn /l*v 'C:\msi.log'; }
install_msi() { msiexec /i "$(winepath -w "${1:-$msi}")"; }
# has_values "<name> <type> <value>"...: each is a line of $work/reg.txt, as reg query prints it.
has_values() {
    tr -d '\r' <"$work/reg.txt" | sed 's/^ *//; s/    / /g' >"$work/reg.lines"
    for entry in "$@"; do
        grep -qxF "$entry" "$work/reg.lines" || no "the entry lacks: $entry" || return
    done
}
# ---- The checks ------------------------------------------------------------------------------

check_install() {
    # The traced security descriptors and process starts are how the permissions asked for are
    # seen (Wine keeps no permissions, and its icacls does nothing).
    WINEDEBUG=-all,trace+process,trace+security wine "$setup" /S 2>"$work/install.trace" ||
        no "the installer ended with status $?" || return
    wineserver -w
}

# The rest of what the game loads shows itself when it plays.
check_files() {
    for f in $installed_files; do
        [ -s "$program_dir/$f" ] || no "no $f in C:\\Program Files\\Corvalto" || return
    done
}

check_shortcut() {
    [ -f "$shortcut" ] || no "no Corvalto.lnk in the all-users Start menu" || return
    strings -a "$shortcut" | grep -qxF "$program" ||
        no "the shortcut does not start $program" || return
    strings -a -el "$shortcut" | grep -qF "$icon" ||
        no "the shortcut has not the game's icon" || return
}

check_registry() {
    wine reg query "$uninstall_key" /reg:64 >"$work/reg.txt" 2>&1 ||
        no "no uninstall entry $uninstall_key" || return
    has_values "DisplayName REG_SZ Corvalto" "DisplayVersion REG_SZ $version" \
        "Publisher REG_SZ Sviluppatori del progetto Corvalto" \
        'DisplayIcon REG_SZ C:\Program Files\Corvalto\corvalto.ico' \
        'InstallLocation REG_SZ C:\Program Files\Corvalto' \
        "UninstallString REG_SZ \"$uninstaller\" _?=C:\Program Files\Corvalto" \
        "QuietUninstallString REG_SZ \"$uninstaller\" /S _?=C:\Program Files\Corvalto" \
        "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1" || return
    # In KiB: the program folder (the stand-in Qt DLLs alone make more than 1 MiB).
    size=$(tr -d '\r' <"$work/reg.txt" | sed -n 's/^ *EstimatedSize *REG_DWORD *//p')
    [ $((size)) -gt 0 ] || no "EstimatedSize is '$size'" || return
}

check_record() {
    for f in avelmora.txt velmora.txt velmora.lock; do
        [ -f "$record_dir/$f" ] && [ ! -s "$record_dir/$f" ] ||
            no "C:\\ProgramData\\Corvalto\\$f is not there, empty" || return
    done
}

# sddl <trace>: the security descriptors asked for, in order.
sddl() {
    sed -n 's/.*:ConvertStringSecurityDescriptorToSecurityDescriptorW L"\([^"]*\)".*/\1/p' "$1"
}

# The permissions the README lists, as the installer asks for them: the program folder's, the
# private folder's, the record folder's; icacls only for a record folder that was there before.
# Wine keeps none of them, so only real Windows shows their effect.
check_acl() {
    sddl "$work/install.trace" >"$work/sddl.txt"
    printf '%s\n' ${program_sddl:+"$program_sddl"} 'O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)' \
        'O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;OIIO;0x12008f;;;BU)' \
        >"$work/sddl.expected"
    diff -u "$work/sddl.expected" "$work/sddl.txt" >"$work/sddl.diff" ||
        no "the installer asked for other permissions: $(grep '^[-+][^-+]' "$work/sddl.diff" | head -n 2 | tr '\n' ' ')" || return
    ! grep -q 'icacls\.exe' "$work/install.trace" ||
        no "the first installation ran icacls" || return
}

check_prompt() {
    needs_game || return
    preset '-5\r\n' 'Zed\r\n'
    greet Wine
}

check_window() {
    needs_main || return
    geometry "$main"
    bar=$((HEIGHT - client_height))
    [ "$WIDTH" -eq "$client_width" ] && [ "$bar" -ge 12 ] && [ "$bar" -le 60 ] ||
        no "the main window is ${WIDTH}x$HEIGHT: not $client_width wide with a menu bar above $client_height rows" || return
}

check_board() {
    needs_main || return
    ! cyan_on "$main" || no "targets on the board before the click" || return
    click_board
    clicked=yes
    within 10 "cyan targets after the click on the board" cyan_on "$main"
}

check_laser() {
    [ -n "$clicked" ] || skip "needs the click on the board" || return
    [ -n "$recording" ] ||
        skip "no sound server to record: PULSE_SERVER is not set or parec is missing" || return
    within 10 "the laser on the sound server" heard
}

# Any sample louder than about 3% of full scale.
heard() {
    [ "$(od -An -v -td2 -w2 "$work/sound.raw" | awk '{ if ($1 > 1000 || $1 < -1000) n++ } END { print n + 0 }')" -gt 100 ]
}

check_exit() {
    needs_main || return
    [ -z "$recording" ] || kill "$recording" 2>/dev/null || true
    recording=""
    leave || return 1
    holds "$record_dir/avelmora.txt" '0\r\n' && holds "$record_dir/velmora.txt" 'Wine\r\n'
}

# damaged <score-file contents, printf format>: with such a score file the game still plays
# and ends as usual; it leaves the files as they were or a record of its own.
damaged() {
    needs_game || return
    preset "$1" 'Zed\r\n'
    cp "$record_dir/avelmora.txt" "$work/damaged"
    greet Danno || return 1
    leave || return 1
    holds "$record_dir/velmora.txt" 'Zed\r\n' && cmp -s "$record_dir/avelmora.txt" "$work/damaged" ||
        { holds "$record_dir/avelmora.txt" '0\r\n' && holds "$record_dir/velmora.txt" 'Danno\r\n'; }
}
check_large() { damaged "%098304d"; }
check_letters() { damaged 'abc\r\n'; }
check_overflow() { damaged '1e999\r\n'; }

# A pupil's program keeps the score file open without sharing it: the game says so, after its
# patience, and stops without changing the record; it plays once the file is let go.
check_inuse() {
    needs_clipboard || return
    preset '50\r\n' 'Zed\r\n'
    wine "$work/holdopen.exe" 'C:\ProgramData\Corvalto\avelmora.txt' 600 >"$work/holdopen.log" 2>&1 &
    holder=$!
    within 30 "holdopen to hold the score file" grep -q '^held' "$work/holdopen.log" &&
        stopped Aperto "Un altro programma tiene aperto il file C:\ProgramData\Corvalto\avelmora.txt"
    held=$?
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    [ "$held" -eq 0 ] || return "$held"
    holds "$record_dir/avelmora.txt" '50\r\n' && holds "$record_dir/velmora.txt" 'Zed\r\n' || return 1
    greet Libero && leave || return 1
    holds "$record_dir/avelmora.txt" '50\r\n' && holds "$record_dir/velmora.txt" 'Zed\r\n'
}

# Attributes a pupil may have set through Explorer stop every game until an installation,
# repairing, clears them and keeps the contents.
check_attributes() {
    needs_game || return
    preset '-5\r\n' 'Zed\r\n'
    for f in avelmora.txt velmora.txt velmora.lock; do
        wine attrib +r "C:\\ProgramData\\Corvalto\\$f" >/dev/null 2>&1 || no "attrib +r $f failed" || return
    done
    wine attrib +h 'C:\ProgramData\Corvalto\velmora.txt' >/dev/null 2>&1 || no "attrib +h failed" || return
    [ ! -w "$record_dir/avelmora.txt" ] || no "attrib +r left avelmora.txt writable" || return
    install || no "the repairing install ended with status $?" || return
    wineserver -w
    holds "$record_dir/avelmora.txt" '-5\r\n' && holds "$record_dir/velmora.txt" 'Zed\r\n' || return 1
    greet Attributi && leave || return 1
    holds "$record_dir/avelmora.txt" '0\r\n' && holds "$record_dir/velmora.txt" 'Attributi\r\n'
}

# The zip unpacked under a folder of 200 characters with a '+' and an accented letter: given
# such a name, PlaySound would read it through mmio (128 characters at most, '+' its own).
check_faraway() {
    needs_display || return
    [ -n "${PULSE_SERVER:-}" ] && command -v parec >/dev/null ||
        skip "no sound server to record: PULSE_SERVER is not set or parec is missing" || return
    far="$drive_c/Giochi+di classe è/$(printf '%178s' '' | tr ' ' x)" # from C:\ on, 200 characters
    zip_game "$far" Lontano || return
    click_board
    heard=0
    within 10 "the laser from $far" heard || heard=1
    kill "$recording" 2>/dev/null || true
    recording=""
    return "$heard"
}

# Upgrading keeps the record, and a record file that is also reachable under another name is
# replaced rather than given new permissions.
check_reinstall() {
    preset '12\r\n' 'Zed\r\n'
    echo keep >"$drive_c/elsewhere.txt"
    ln -f "$drive_c/elsewhere.txt" "$record_dir/velmora.lock"
    install || no "the second install ended with status $?" || return
    wineserver -w
    holds "$record_dir/avelmora.txt" '12\r\n' && holds "$record_dir/velmora.txt" 'Zed\r\n' || return 1
    [ "$(stat -c %h "$drive_c/elsewhere.txt")" -eq 1 ] && [ ! -s "$record_dir/velmora.lock" ] &&
        holds "$drive_c/elsewhere.txt" 'keep\n' ||
            no "the hard-linked velmora.lock was kept" || return
}

check_held() {
    hold 'C:\Program Files\Corvalto\suoni\laser.wav' || return 1
    code=0 uncode=0
    install || code=$?
    uninstall || uncode=$?
    release
    [ "$code" -eq 2 ] && [ "$uncode" -eq 2 ] && [ -f "$program_dir/corvalto.exe" ] ||
        no "over a file in use, the installer ended with $code, the uninstaller with $uncode" || return
}

# The registered command returns once the game is gone; the uninstaller itself goes after.
check_uninstall() {
    uninstall || no "the uninstaller ended with status $?" || return
    left=$(cd "$program_dir" 2>/dev/null && find . -type f ! -name disinstalla.exe)
    [ -z "$left" ] || no "left in C:\\Program Files\\Corvalto: $(echo "$left" | tr '\n' ' ')" || return
    wineserver -w
    [ ! -e "$program_dir" ] ||
        no "left in C:\\Program Files\\Corvalto: $(ls "$program_dir" | tr '\n' ' ')" || return
    [ ! -e "$shortcut" ] || no "the Start-menu shortcut is still there" || return
    ! wine reg query "$uninstall_key" /reg:64 >/dev/null 2>&1 ||
        no "the uninstall entry is still there" || return
    holds "$record_dir/avelmora.txt" '12\r\n' && holds "$record_dir/velmora.txt" 'Zed\r\n'
}

check_purge() {
    install && wineserver -w || no "the install before the purge failed" || return
    uninstall /PURGE || no "the uninstaller ended with status $?" || return
    [ ! -e "$record_dir" ] ||
        no "left in C:\\ProgramData\\Corvalto: $(ls -A "$record_dir" | tr '\n' ' ')" || return
}

# With no installer, the zip's first game creates the record folder, asking for permissions that
# let every account play, and stores its record there.
check_zip() {
    needs_display || return
    [ ! -e "$record_dir" ] || no "the record folder is there before the zip's game" || return
    WINEDEBUG=-all,trace+security
    zip_game "$drive_c/zip" Zip
    started=$?
    WINEDEBUG=-all
    [ "$started" -eq 0 ] || return "$started"
    leave || return 1
    sddl "$work/game$game_run.log" | sort -u >"$work/sddl.txt"
    printf '%s\n' 'D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)(A;;0x12008f;;;BU)' \
        'D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;;0x1200a9;;;BU)(A;OIIO;0x12008f;;;BU)' >"$work/sddl.expected"
    cmp -s "$work/sddl.expected" "$work/sddl.txt" ||
        no "the game asked for other permissions: $(tr '\n' ' ' <"$work/sddl.txt")" || return
    # The files are made empty, which only a score above 0 beats: the next game stores its 0
    # over a record of -5.
    check_record || return
    preset '-5\r\n' 'Zed\r\n'
    zip_game "$drive_c/zip" Zip && leave || return 1
    holds "$record_dir/avelmora.txt" '0\r\n' && holds "$record_dir/velmora.txt" 'Zip\r\n'
}

# ---- The MSI package, in a fresh prefix ----------------------------------------------------------

# Its files, shortcut, one entry, record folder and its set-up. Wine's msi puts ProgramMenuFolder
# in the user's Start menu even for ALLUSERS=1 (Windows: the all-users one).
check_msi() {
    wineserver -k 2>/dev/null || true
    prefix "$work/msi-prefix"
    wineboot -i >"$work/wineboot-msi.log" 2>&1 || true
    product=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
    icon="C:\\windows\\Installer\\$product\\corvalto.ico"
    shortcut="$drive_c/users/${USER:-$(id -un)}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Corvalto.lnk"
    installed_files="corvalto.exe plugins/platforms/qwindows.dll suoni/laser.wav" program_sddl=""
    WINEDEBUG=-all,trace+process,trace+security install_msi 2>"$work/install.trace" || no "msiexec ended with $?" || return
    wineserver -w
    check_files && check_shortcut && check_record && check_acl || return 1
    [ "$(entries)" -eq 1 ] || no "$(entries) entries named Corvalto under installed apps" || return
    wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product" /reg:64 >"$work/reg.txt"
    wine reg query 'HKLM\Software\Classes\Installer\Products' /s >>"$work/reg.txt"
    has_values "DisplayName REG_SZ Corvalto" "DisplayVersion REG_SZ $version" \
        "Publisher REG_SZ Sviluppatori del progetto Corvalto" "ProductIcon REG_SZ $icon"
}

check_msiplay() {
    needs_game || return
    preset '-5\r\n' 'Zed\r\n'
    greet Msi && leave && holds "$record_dir/avelmora.txt" '0\r\n' && holds "$record_dir/velmora.txt" 'Msi\r\n'
}
# Wine's msi leaves the emptied folders (the package asks Windows Installer to remove them).
check_msiuninstall() {
    cat "$record_dir"/*.txt >"$work/kept"
    msiexec /x "$product" && wineserver -w || no "msiexec /x ended with $?" || return
    [ -z "$(find "$program_dir" -type f)" ] && [ ! -e "$shortcut" ] && [ "$(entries)" -eq 0 ] ||
        no "files, the shortcut or the entry left" || return
    kept
}
kept() { cat "$record_dir"/*.txt | cmp -s - "$work/kept" || no "the record was not kept"; }

# An upgrade from an older version, built here with a file the current one does not ship: a file
# kept open stops it before anything changes, naming the file (no 3010 and a restart).
check_msiheld() {
    mkdir "$work/old" && cp -R "$built/stage" "$work/old/stage" && echo >"$work/old/stage/vecchio.txt" &&
        "$(dirname "$0")/../../packaging/windows/build-msi.sh" "$work/old" 0.9.0 "$work/old.msi" >/dev/null &&
        install_msi "$work/old.msi" || no "the older package did not install" || return
    hold 'C:\Program Files\Corvalto\suoni\laser.wav' || return 1
    code=0
    install_msi || code=$?
    release
    [ "$code" -eq 67 ] || no "msiexec ended with $code (modulo 256) over a file in use" || return
    LC_ALL=C grep -aq 'Il file C:\\Program Files\\Corvalto\\suoni\\laser.wav .* in uso' "$drive_c/msi.log" ||
        no "the log does not name the file in use" || return
    [ -f "$program_dir/vecchio.txt" ] || no "the older version was changed" || return
}

check_msiupgrade() {
    install_msi && wineserver -w || no "msiexec ended with $?" || return
    [ "$(entries)" -eq 1 ] && [ ! -e "$program_dir/vecchio.txt" ] ||
        no "$(entries) entries; the older version's files left: $(ls "$program_dir")" || return
    check_files && kept
}
check_msipurge() {
    msiexec /x "$product" PURGE=1 && wineserver -w || no "msiexec ended with $?" || return
    [ ! -e "$record_dir" ] || no "left: $(ls -A "$record_dir" | tr '\n' ' ')" || return
}
# The record folder's set-up failing (a file in its place) fails the installation before any file.
check_msiunsafe() {
    echo >"$record_dir" && code=0
    install_msi || code=$?
    rm "$record_dir"
    [ "$code" -eq 67 ] || [ "$code" -eq 91 ] || no "msiexec ended with $code (modulo 256)" || return
    [ -z "$(find "$program_dir" -type f 2>/dev/null)" ] && [ "$(entries)" -eq 0 ] ||
        no "the game was installed all the same" || return
}

# Never two copies: each installer stops where the other has installed the game.
check_mixed() {
    code=0
    install && { install_msi || code=$?; } && [ "$code" -eq 67 ] && [ "$(entries)" -eq 1 ] ||
        no "msiexec ended with $code over the installer's copy, $(entries) entries" || return
    code=0
    uninstall && wineserver -w && install_msi && { install || code=$?; } && [ "$code" -eq 2 ] &&
        [ "$(entries)" -eq 1 ] || no "the installer ended with $code over the package's copy" || return
}

# ---- The table ---------------------------------------------------------------------------------

echo "Wine prefix: $WINEPREFIX"
# holdopen.exe <file> <seconds>: another program keeping a file open without sharing.
x86_64-w64-mingw32-gcc-posix -O2 -o "$work/holdopen.exe" "$(dirname "$0")/holdopen.c"
wineboot -i >"$work/wineboot.log" 2>&1 || true
wineserver -w

installed=no msi_installed=no
while read -r name text; do
    [ -n "$name" ] || continue
    why=""
    case $name in
    install | msi) status=0 ;;
    msi*) [ "$msi_installed" = yes ] || status=77 why="needs the MSI installation" ;;
    *) [ "$installed" = yes ] || status=77 why="needs the installation" ;;
    esac
    if [ -z "$why" ]; then
        status=0
        # Wine and the tools would otherwise read the table.
        "check_$name" </dev/null || status=$?
    fi
    case $status in
    0)
        printf 'PASS    %s: %s\n' "$name" "$text"
        [ "$name" != install ] || installed=yes
        [ "$name" != msi ] || msi_installed=yes
        ;;
    77) printf 'SKIPPED %s: %s (%s)\n' "$name" "$text" "$why" ;;
    *)
        printf 'FAIL    %s: %s%s\n' "$name" "$text" "${why:+ ($why)}"
        failures=$((failures + 1))
        [ -z "${DISPLAY:-}" ] || import -silent -window root "$work/fail-$name.png" 2>/dev/null || true
        ;;
    esac
    # A check that failed mid-game leaves no game for the next.
    case $name in prompt | window | board | laser) ;; *) stop_game ;; esac
done <<'EOF'
install   the installer runs silently (/S) and exits with 0
files     the game, its platform plugin, sounds and uninstaller are in C:\Program Files\Corvalto
shortcut  the all-users Start menu has "Corvalto", starting the game, with its icon
registry  the uninstall entry has name, version, publisher, icon, folder, commands, size
record    C:\ProgramData\Corvalto holds the three record files, empty
acl       the installer asks for the README's permissions, by SID, each folder made with them (Wine keeps none: only real Windows shows what they allow)
prompt    the name prompt takes a typed name and the greeting follows (seen by title: Wine shows the test no texts)
window    the main window has a 608x672 client area below its menu bar
board     a click on the board starts the targets
laser     the laser is heard after the click on the board
exit      Exit beats a record of -5: the score 0 and the name are stored, CR LF
large     a score file of 98304 bytes does not stop the game
letters   a score file "abc" does not stop the game
overflow  a score file "1e999" does not stop the game
inuse     a score file another program keeps open: the game says so, stops with the record unchanged, and plays once it is let go
attributes read-only record files, one hidden too: a silent reinstall clears that, keeping the record, and the next game stores its own
faraway   the zip's game sounds the laser from a folder of 200 characters with "+" and "è"
reinstall installing again keeps the record; a hard-linked record file is replaced
held      installing or uninstalling over a file another program keeps open stops with exit code 2, the game left as it was
uninstall the registered silent uninstall returns once the game, its shortcut and entry are gone, and keeps the record
purge     uninstalling with /PURGE removes the record too
zip       the zip's first game creates the record folder with permissions for every account and stores its record there
msi       in a fresh prefix, msiexec /i corvalto-x.y.z-x64.msi /qn exits with 0: files, shortcut, record folder and the permissions its set-up asks for as above, one entry with name, version, publisher, icon
msiplay   a game played with the package's install stores its record
msiuninstall msiexec /x removes the game, its shortcut and entry, and keeps the record
msiheld   a major upgrade over a file kept open fails (1603), naming the file in the log, and leaves the older version
msiupgrade a major upgrade from an older version keeps the record, leaves one entry and none of the older files
msipurge  msiexec /x with PURGE=1 removes the record too
msiunsafe a record folder that cannot be set up fails the installation (1603), and nothing is installed
mixed     the installer stops where the package installed the game and the other way round: one entry
EOF

[ "$failures" -eq 0 ]
