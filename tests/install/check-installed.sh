#!/bin/sh
# The installed package's checks, as root on a machine where the package has just been installed
# and nothing else has touched its record folder: the package's autopkgtest (debian/tests/control)
# runs it under xvfb-run. As two accounts of its own (made with useradd, removed at the end) it
# checks that a player cannot change anything in the record folder by hand but stores a record
# through the store, which the other then reads; starts the installed game under the X server in
# DISPLAY until its name prompt shows; removes the package (the record survives) and purges it
# (the record goes). check-package.sh shares its helpers: it sets check_helpers_only=yes and
# sources it.
set -eu

record_dir=/var/games/corvalto
store=/usr/lib/games/corvalto/corvalto-record
. "$(dirname "$0")/checks.sh"
# apt's progress goes to a log, shown when a step fails.
apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@" >"$work/apt.log" 2>&1 || {
        cat "$work/apt.log" >&2
        echo "FAIL: apt-get $*" >&2
        return 1
    }
}
# Two players' accounts of our own, each in no group but its own; the caller removes them.
accounts=""
add_accounts() {
    for account in corvalto-test-a corvalto-test-b; do
        if getent passwd "$account" >/dev/null; then
            echo "FAIL: the account $account already exists" >&2
            exit 1
        fi
        useradd --no-create-home --user-group --shell /usr/sbin/nologin "$account"
        accounts="$accounts $account"
    done
}
remove_accounts() {
    for account in $accounts; do userdel "$account" 2>/dev/null || true; done
    accounts=""
}
# From /: the test's own folder may lie where a player cannot enter.
as_player() {
    player=$1
    shift
    (cd / && runuser -u "$player" -- "$@")
}
if [ "${check_helpers_only:-}" = yes ]; then return 0; fi

work=$(mktemp -d "${AUTOPKGTEST_TMP:-/tmp}/check-installed.XXXXXX")
game_pid=""
# shellcheck disable=SC2317 # called by the trap
cleanup() {
    if [ -n "$game_pid" ]; then kill "$game_pid" 2>/dev/null || true; fi
    remove_accounts
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
add_accounts

[ -x /usr/games/corvalto ] || fail "installed: /usr/games/corvalto does not lead to a program"
# The sounds through the link beside the program, where the game looks for them.
for f in /usr/lib/games/corvalto/suoni/sparo.wav /usr/share/applications/corvalto.desktop \
    /usr/share/icons/hicolor/48x48/apps/corvalto.png; do
    [ -f "$f" ] || fail "installed: $f is missing"
done
expect_node "$store" "root:games 2755 regular file" "installed"
check_record_folder "$record_dir" "installed" "regular empty file"

# --- A player can change nothing in the folder by hand ... ------------------------------------
# Each attempt runs as a player, one shell command line, and must fail; the folder must then be
# as it was.
printf ' 7\r\n' >"$record_dir/avelmora.txt"
printf 'Anna\r\n' >"$record_dir/velmora.txt"
(cd "$record_dir" && ls -lA --time-style=+ && cat ./*.txt) >"$work/before.txt"
for attempt in ': >new.txt' 'mkdir planted' 'ln -s /etc/passwd planted' 'mkfifo planted' \
    'ln avelmora.txt planted' 'printf 99999 >avelmora.txt' 'printf Mallory >>velmora.txt' \
    'truncate -s 0 velmora.txt' 'rm -f avelmora.txt' 'mv velmora.txt planted' \
    'cp /etc/hostname /tmp/corvalto-test.$$ && mv -f /tmp/corvalto-test.$$ velmora.lock' \
    'chmod 0666 avelmora.txt' 'chmod 0777 .' 'chgrp corvalto-test-a velmora.txt' \
    'flock -n velmora.lock true' 'cat velmora.lock'; do
    if as_player corvalto-test-a sh -c "cd '$record_dir' && $attempt" >/dev/null 2>&1; then
        fail "a player could: $attempt"
    fi
done
find /tmp -maxdepth 1 -user corvalto-test-a -name 'corvalto-test.*' -delete
(cd "$record_dir" && ls -lA --time-style=+ && cat ./*.txt) >"$work/after.txt"
diff -u "$work/before.txt" "$work/after.txt" >&2 || fail "the players' attempts changed the record folder"

# --- ... but stores a record through the store, and the other player reads it --------------
status=0
printf 'Giulia' | as_player corvalto-test-a "$store" store 42 >"$work/store.out" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "a player's store ended with status $status: $(cat "$work/store.out")"
score=$(as_player corvalto-test-b cat "$record_dir/avelmora.txt") || fail "another player cannot read the score"
name=$(as_player corvalto-test-b cat "$record_dir/velmora.txt") || fail "another player cannot read the name"
[ "$score|$name" = "$(printf '42\r|Giulia\r')" ] || fail "the other player reads '$score' '$name'"
status=0
printf 'Bruno' | as_player corvalto-test-b "$store" store 41 >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "a lower score's store ended with status $status, not 1 (not stored)"
# Stored in place: the files are still root's, and no journal is left.
check_record_folder "$record_dir" "after two stores" "regular file"

# A teacher who deletes a record file and the "stale" lock file: no player's store recreates
# them (that player would own them), it says which is missing; dpkg-reconfigure, as the manual
# page says, makes them again as root's and keeps the rest of the record.
rm -f "$record_dir/avelmora.txt" "$record_dir/velmora.lock"
status=0
as_player corvalto-test-b "$store" read >"$work/store.out" 2>&1 || status=$?
[ "$status|$(cat "$work/store.out")|$(ls -A "$record_dir")" = "3|missing velmora.lock|velmora.txt" ] ||
    fail "a read after files were deleted: status $status, '$(cat "$work/store.out")'"
DEBIAN_FRONTEND=noninteractive dpkg-reconfigure corvalto >"$work/reconfigure.log" 2>&1 ||
    fail "dpkg-reconfigure corvalto failed: $(cat "$work/reconfigure.log")"
printf 'Dario' | as_player corvalto-test-b "$store" store 3 >/dev/null 2>&1 ||
    fail "a store after dpkg-reconfigure failed"
check_record_folder "$record_dir" "reconfigured" "regular file"

# --- The installed game starts -------------------------------------------------------------
if [ -z "${DISPLAY:-}" ] || ! command -v xdotool >/dev/null 2>&1; then
    echo "SKIPPED starting the installed game: no X server (DISPLAY) or no xdotool"
else
    # Start it as the desktop's menu would: the entry's command, found on a user's PATH.
    exec_cmd=$(sed -n 's/^Exec=//p' /usr/share/applications/corvalto.desktop | head -n 1)
    # shellcheck disable=SC2086 # Exec= is a command line: split it as the desktop would
    PATH="/usr/local/bin:/usr/bin:/bin:/usr/games" env -u QT_QPA_PLATFORM $exec_cmd >"$work/game.log" 2>&1 &
    game_pid=$!
    # The name prompt is a window titled "Corvalto" of this process (other tests may show
    # their own "Corvalto" windows on the same X server at the same time).
    if timeout 60 xdotool search --sync --all --onlyvisible --pid "$game_pid" --name '^Corvalto$' \
        >"$work/windows.txt" 2>/dev/null; then
        echo "installed game shows its window: $(head -n 1 "$work/windows.txt")"
    else
        fail "the installed game showed no window titled Corvalto within 60 s"
        cat "$work/game.log" >&2
    fi
    kill "$game_pid" 2>/dev/null || true
    wait "$game_pid" 2>/dev/null || true
    game_pid=""
fi

# --- Remove keeps the record, purge deletes it ---------------------------------------------
apt_get remove corvalto
if [ -e /usr/games/corvalto ] || [ -e /usr/lib/games/corvalto ]; then
    fail "removed: the program is still installed"
fi
[ "$(cat "$record_dir/velmora.txt" 2>/dev/null)" = "$(printf 'Dario\r')" ] ||
    fail "removed: the record did not survive"

apt_get purge corvalto
[ ! -e "$record_dir" ] || fail "purged: the record folder $record_dir is still there"
[ "$(dpkg-query -W -f='${db:Status-Status}' corvalto 2>/dev/null || echo not-installed)" = not-installed ] ||
    fail "purged: dpkg still knows the package"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "installed package: all checks passed"
