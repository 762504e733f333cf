#!/bin/sh
# Builds the Debian package with packaging/build-deb.sh in its own build folder, checks
# its control fields, contents and hardening, and runs lintian (errors and warnings fail).
# Then, only as root on a machine where neither the package nor its record folder exists
# (a throwaway one, as CI is): installs it with apt; as two accounts of its own (made with
# useradd, removed at the end) checks that a player cannot change anything in the record
# folder by hand but stores a record through the store, which the other then reads; starts
# the installed game under the X server in DISPLAY, if there is one, until its name prompt
# shows; removes it (the record survives) and purges it (the record goes); then installs it
# over a record folder as 1.0.0 left it and purges it again. Elsewhere that part says why it
# was skipped.
#   check-package.sh <source-dir> <build-dir> <project-version>
set -eu

src=$1
build=$2
version=$3

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "package: all checks passed"
    exit 0
}

work="$build/check"
rm -rf "$work"
mkdir -p "$build"

# --- Build ------------------------------------------------------------------------------
sh "$src/packaging/build-deb.sh" "$build" >"$build/build-deb.log" 2>&1 || {
    cat "$build/build-deb.log" >&2
    echo "FAIL: packaging/build-deb.sh failed" >&2
    exit 1
}
tail -n 5 "$build/build-deb.log"
deb=$(tail -n 1 "$build/build-deb.log")
mkdir -p "$work"

# --- Control fields ------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = corvalto ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project is $version"
[ "$(field Section)" = games ] || fail "Section is '$(field Section)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
# The Qt libraries come from shlibdeps; the rest is what the linker cannot see.
# libqt6gui6 holds the X11 platform plugin; qt6-wayland the Wayland one.
for dep in libqt6widgets6 libqt6multimedia6 libqt6gui6 fonts-liberation; do
    echo "$depends" | grep -Eq "(^|, )$dep( |,|$)" || fail "Depends lacks $dep: $depends"
done
recommends=$(field Recommends)
for dep in qt6-translations-l10n qt6-wayland; do
    echo "$recommends" | grep -Eq "(^|, )$dep( |,|$)" || fail "Recommends lacks $dep: $recommends"
done

# --- Contents ------------------------------------------------------------------------------
dpkg-deb -c "$deb" >"$work/contents.txt"
grep -q ' \./usr/games/corvalto -> \.\./lib/corvalto/corvalto$' "$work/contents.txt" ||
    fail "no relative link usr/games/corvalto -> ../lib/corvalto/corvalto"
grep -q '^-rwxr-xr-x root/root .* \./usr/lib/corvalto/corvalto$' "$work/contents.txt" ||
    fail "usr/lib/corvalto/corvalto is not a root-owned 0755 program"
grep -q '^-rw-r--r-- root/root .* \./usr/lib/corvalto/corvalto_audio\.so$' "$work/contents.txt" ||
    fail "usr/lib/corvalto/corvalto_audio.so is not a root-owned 0644 module beside the program"
grep -q '^-rwxr-sr-x root/games .* \./usr/lib/corvalto/corvalto-record$' "$work/contents.txt" ||
    fail "usr/lib/corvalto/corvalto-record is not root:games 2755"
# The store alone has the games group; nothing else is setuid or setgid.
others="$work/contents-but-store.txt"
grep -v ' \./usr/lib/corvalto/corvalto-record$' "$work/contents.txt" >"$others" || true
if grep -v ' root/root ' "$others"; then fail "entries not owned by root"; fi
if grep -E '^...[sS]|^......[sS]' "$others"; then fail "another setuid or setgid entry"; fi
# The record folder belongs to the maintainer scripts: a packaged one would be owned by
# dpkg and handled as an ordinary folder.
if grep ' \./var/' "$work/contents.txt"; then fail "the package ships files under /var"; fi

# The hardening flags really reached the program, the store and the audio module: position
# independent, full RELRO; and none of them looks for libraries in a run path.
dpkg-deb -x "$deb" "$work/root"
for binary in corvalto corvalto-record corvalto_audio.so; do
    file="$work/root/usr/lib/corvalto/$binary"
    if [ -f "$file" ]; then
        readelf -h "$file" | grep -q 'Type:.*DYN' || fail "$binary is not position independent"
        readelf -lW "$file" | grep -q GNU_RELRO || fail "$binary has no RELRO segment"
        readelf -dW "$file" | grep -Eq 'BIND_NOW|FLAGS.*NOW' || fail "$binary is not linked with -z now"
        if readelf -SW "$file" | grep -q '\.symtab'; then fail "$binary is not stripped"; fi
        if readelf -dW "$file" | grep -Eq '\((RPATH|RUNPATH)\)'; then fail "$binary has a run path"; fi
    else
        fail "no usr/lib/corvalto/$binary in the package"
    fi
done

# --- lintian --------------------------------------------------------------------------------
# -I shows the info tags too, for the log; only errors and warnings fail.
if ! lintian -I --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1; then
    fail "lintian reports errors or warnings"
fi
echo "lintian:"
cat "$work/lintian.log"

# --- Install, run, remove, purge: only on a throwaway machine ----------------------------
record_dir=$(sed -n 's/^CORVALTO_RECORD_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
skip=""
if [ "$(id -u)" -ne 0 ]; then
    skip="not running as root (this test never asks for a password)"
elif dpkg-query -W -f='${db:Status-Status}' corvalto 2>/dev/null | grep -qv '^not-installed$'; then
    skip="a corvalto package is already known to dpkg on this machine"
elif [ -e "$record_dir" ]; then
    skip="the record folder $record_dir already exists on this machine"
elif ! command -v apt-get >/dev/null 2>&1 || ! command -v useradd >/dev/null 2>&1; then
    skip="apt-get or useradd is missing"
fi
if [ -n "$skip" ]; then
    echo "SKIPPED installing the package with apt: $skip"
    finish
fi

game_pid=""
installed=no
accounts=""
record_parent=$(dirname "$record_dir")
parent_existed=no
[ -d "$record_parent" ] && parent_existed=yes
# Whatever happens, leave the machine as it was: no game running, no package, no folder, no
# accounts of ours.
# shellcheck disable=SC2317 # called by the trap
cleanup() {
    if [ -n "$game_pid" ]; then kill "$game_pid" 2>/dev/null || true; fi
    if [ "$installed" = yes ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q corvalto >/dev/null 2>&1 || true
    fi
    rm -rf "$record_dir"
    # postinst made the parent too when it was missing; purge leaves that empty folder.
    if [ "$parent_existed" = no ]; then rmdir "$record_parent" 2>/dev/null || true; fi
    for account in $accounts; do userdel "$account" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# apt's progress goes to a log, shown when a step fails.
apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@" >"$work/apt.log" 2>&1 || {
        cat "$work/apt.log" >&2
        echo "FAIL: apt-get $*" >&2
        return 1
    }
}
# Owner, group, mode and type of a name, never through a link.
node() { stat -c '%U:%G %a %F' -- "$1" 2>/dev/null || echo missing; }
expect_node() {
    [ "$(node "$1")" = "$2" ] || fail "$3: $1 is '$(node "$1")', not '$2'"
}
# The folder as every game needs it: the three files and nothing else, root's and the group's.
check_record_folder() {
    expect_node "$record_dir" "root:games 2775 directory" "$1"
    expect_node "$record_dir/avelmora.txt" "root:games 664 $2" "$1"
    expect_node "$record_dir/velmora.txt" "root:games 664 $2" "$1"
    expect_node "$record_dir/velmora.lock" "root:games 660 regular empty file" "$1"
    left=$(cd "$record_dir" && ls -A | tr '\n' ' ')
    [ "$left" = "avelmora.txt velmora.lock velmora.txt " ] || fail "$1: the record folder holds $left"
}
# Two players' accounts of our own, each in no group but its own.
for account in corvalto-test-a corvalto-test-b; do
    if getent passwd "$account" >/dev/null; then
        echo "FAIL: the account $account already exists" >&2
        exit 1
    fi
    useradd --no-create-home --user-group --shell /usr/sbin/nologin "$account"
    accounts="$accounts $account"
done
# From /: the test's own folder lies in the clone, which a player may not be able to enter.
as_player() {
    player=$1
    shift
    (cd / && runuser -u "$player" -- "$@")
}
store=/usr/lib/corvalto/corvalto-record
# A file outside the folder that a player may name in a link.
secret="$work/secret"
printf 'segreto\n' >"$secret"
chmod 0600 "$secret"

installed=yes
apt_get install --no-install-recommends "$deb"
[ -x /usr/games/corvalto ] || fail "installed: /usr/games/corvalto does not lead to a program"
for f in /usr/lib/corvalto/suoni/sparo.wav /usr/share/applications/corvalto.desktop \
    /usr/share/icons/hicolor/48x48/apps/corvalto.png; do
    [ -f "$f" ] || fail "installed: $f is missing"
done
expect_node "$store" "root:games 2755 regular file" "installed"
check_record_folder "installed" "regular empty file"

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
check_record_folder "after two stores" "regular file"

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
check_record_folder "reconfigured" "regular file"

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
if [ -e /usr/games/corvalto ] || [ -e /usr/lib/corvalto ]; then
    fail "removed: the program is still installed"
fi
[ "$(cat "$record_dir/velmora.txt" 2>/dev/null)" = "$(printf 'Dario\r')" ] ||
    fail "removed: the record did not survive"

apt_get purge corvalto
installed=no
[ ! -e "$record_dir" ] || fail "purged: the record folder $record_dir is still there"
[ "$(dpkg-query -W -f='${db:Status-Status}' corvalto 2>/dev/null || echo not-installed)" = not-installed ] ||
    fail "purged: dpkg still knows the package"

# --- Over a record folder as 1.0.0 left it -------------------------------------------------
# World-writable, record files of two players, their lock and temporary files, and what a
# curious player planted: the record survives, everything else goes, nothing is followed.
mkdir -p "$record_dir"
chmod 0777 "$record_dir"
as_player corvalto-test-a sh -c "cd '$record_dir' && umask 0 && printf ' 120\r\n' >avelmora.txt &&
    : >velmora.lock && printf '99\r\n' >avelmora.txt.tmp && ln -s '$secret' planted-link &&
    mkfifo planted-fifo"
as_player corvalto-test-b sh -c "cd '$record_dir' && umask 0 && printf 'Chiara\r\n' >velmora.txt &&
    printf 'Chiara\r\n' >velmora.txt.tmp"
installed=yes
apt_get install --no-install-recommends "$deb"
check_record_folder "installed over 1.0.0" "regular file"
kept="$(cat "$record_dir/avelmora.txt")|$(cat "$record_dir/velmora.txt")"
[ "$kept" = "$(printf ' 120\r|Chiara\r')" ] || fail "installed over 1.0.0: the record is '$kept'"
if [ "$(cat "$secret")" != segreto ] || [ "$(node "$secret")" != "root:root 600 regular file" ]; then
    fail "installed over 1.0.0: a planted link's target was changed"
fi
if as_player corvalto-test-b sh -c "printf 999 >'$record_dir/avelmora.txt'" 2>/dev/null; then
    fail "installed over 1.0.0: a player still writes a record file"
fi
apt_get purge corvalto
installed=no
[ ! -e "$record_dir" ] || fail "purged after the upgrade: the record folder is still there"

finish
