#!/bin/sh
# Builds the Debian package with packaging/build-deb.sh in its own build folder, checks
# its control fields, contents and hardening, and runs lintian (errors and warnings fail).
# Then, only as root on a machine where neither the package nor its record folder exists
# (a throwaway one, as CI is): installs it with apt, starts the installed game under the
# X server in DISPLAY until its name prompt shows, removes it (the record survives) and
# purges it (the record goes). Elsewhere that part says why it was skipped.
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
if grep -v ' root/root ' "$work/contents.txt"; then fail "entries not owned by root"; fi
# The record folder belongs to the maintainer scripts: a packaged one would be owned by
# dpkg and handled as an ordinary folder.
if grep ' \./var/' "$work/contents.txt"; then fail "the package ships files under /var"; fi

# The hardening flags really reached the program and its audio module: position
# independent, full RELRO.
dpkg-deb -x "$deb" "$work/root"
for binary in corvalto corvalto_audio.so; do
    file="$work/root/usr/lib/corvalto/$binary"
    if [ -f "$file" ]; then
        readelf -h "$file" | grep -q 'Type:.*DYN' || fail "$binary is not position independent"
        readelf -lW "$file" | grep -q GNU_RELRO || fail "$binary has no RELRO segment"
        readelf -dW "$file" | grep -Eq 'BIND_NOW|FLAGS.*NOW' || fail "$binary is not linked with -z now"
        if readelf -SW "$file" | grep -q '\.symtab'; then fail "$binary is not stripped"; fi
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
elif [ -z "${DISPLAY:-}" ]; then
    skip="no X server (DISPLAY is not set)"
elif ! command -v apt-get >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
    skip="apt-get or xdotool is missing"
fi
if [ -n "$skip" ]; then
    echo "SKIPPED installing the package with apt: $skip"
    finish
fi

game_pid=""
installed=no
record_parent=$(dirname "$record_dir")
parent_existed=no
[ -d "$record_parent" ] && parent_existed=yes
# Whatever happens, leave the machine as it was: no game running, no package, no folder.
# shellcheck disable=SC2317 # called by the trap
cleanup() {
    if [ -n "$game_pid" ]; then kill "$game_pid" 2>/dev/null || true; fi
    if [ "$installed" = yes ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q corvalto >/dev/null 2>&1 || true
    fi
    # postinst made the parent too when it was missing; purge leaves that empty folder.
    if [ "$parent_existed" = no ]; then rmdir "$record_parent" 2>/dev/null || true; fi
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

installed=yes
apt_get install --no-install-recommends "$deb"
[ -x /usr/games/corvalto ] || fail "installed: /usr/games/corvalto does not lead to a program"
for f in /usr/lib/corvalto/suoni/sparo.wav /usr/share/applications/corvalto.desktop \
    /usr/share/icons/hicolor/48x48/apps/corvalto.png; do
    [ -f "$f" ] || fail "installed: $f is missing"
done
if [ -d "$record_dir" ]; then
    mode=$(stat -c %a "$record_dir")
    [ "$mode" = 777 ] || fail "installed: record folder mode $mode, not 777 (no sticky bit)"
else
    fail "installed: postinst did not create $record_dir"
fi

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

echo "left by a player" >"$record_dir/survives-removal.txt"
apt_get remove corvalto
if [ -e /usr/games/corvalto ] || [ -e /usr/lib/corvalto ]; then
    fail "removed: the program is still installed"
fi
[ -f "$record_dir/survives-removal.txt" ] || fail "removed: the record folder did not survive"

apt_get purge corvalto
installed=no
[ ! -e "$record_dir" ] || fail "purged: the record folder $record_dir is still there"
[ "$(dpkg-query -W -f='${db:Status-Status}' corvalto 2>/dev/null || echo not-installed)" = not-installed ] ||
    fail "purged: dpkg still knows the package"

finish
