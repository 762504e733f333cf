#!/bin/sh
# Builds the Debian source and binary packages with packaging/build-deb.sh (dpkg-buildpackage) in
# its own build folder, checks the .deb's control fields, contents and hardening, and runs lintian
# --pedantic on both (any tag it shows fails; overridden ones carry their reason). Then, only as
# root on a machine where neither the package nor its record folder exists (a throwaway one, as
# CI is): builds 1.2.0, the last package before the source package, with its own build-deb.sh in
# a temporary clone, installs it, stores a record and upgrades to the new package, which must
# leave the record as it was; runs the package's autopkgtests with the null runner
# (check-installed.sh: two accounts, the game's start, remove, purge); then installs the package
# over a record folder as 1.0.0 left it and purges it again. Elsewhere that part says why it was
# skipped.
#   check-package.sh <source-dir> <build-dir> <project-version>
set -eu

src=$1
build=$2
version=$3

work="$build/check"
# fail, apt_get, node, expect_node, check_record_folder, add_accounts, as_player.
check_helpers_only=yes
. "$src/tests/install/check-installed.sh"
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "package: all checks passed"
    exit 0
}

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
# The project's version and a Debian revision.
case $(field Version) in
"$version"-[1-9]*) ;;
*) fail "Version is '$(field Version)', the project is $version" ;;
esac
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
programs=usr/lib/games/corvalto
for entry in "lrwxrwxrwx root/root usr/games/corvalto -> ../lib/games/corvalto/corvalto" \
    "-rwxr-xr-x root/root $programs/corvalto" "-rw-r--r-- root/root $programs/corvalto_audio.so" \
    "-rwxr-sr-x root/games $programs/corvalto-record" \
    "lrwxrwxrwx root/root $programs/suoni -> ../../../share/games/corvalto/suoni" \
    "-rw-r--r-- root/root usr/share/games/corvalto/suoni/sparo.wav"; do
    # Mode and owner, then the name without its ./: dpkg-deb -c puts the size and time between.
    awk -v want="$entry" '{ line = $1 " " $2 " " substr($6, 3); for (i = 7; i <= NF; i++) line = line " " $i }
        line == want { found = 1 } END { exit !found }' "$work/contents.txt" ||
        fail "the package has no '$entry'"
done
# The store alone has the games group; nothing else is setuid or setgid.
others="$work/contents-but-store.txt"
grep -v " \./$programs/corvalto-record\$" "$work/contents.txt" >"$others" || true
if grep -v ' root/root ' "$others"; then fail "entries not owned by root"; fi
if grep -E '^...[sS]|^......[sS]' "$others"; then fail "another setuid or setgid entry"; fi
# The record folder belongs to the maintainer scripts: a packaged one would be owned by
# dpkg and handled as an ordinary folder.
if grep ' \./var/' "$work/contents.txt"; then fail "the package ships files under /var"; fi

# The hardening flags really reached the program, the store and the audio module: position
# independent, full RELRO; and none of them looks for libraries in a run path.
dpkg-deb -x "$deb" "$work/root"
for binary in corvalto corvalto-record corvalto_audio.so; do
    file="$work/root/$programs/$binary"
    if [ -f "$file" ]; then
        readelf -h "$file" | grep -q 'Type:.*DYN' || fail "$binary is not position independent"
        readelf -lW "$file" | grep -q GNU_RELRO || fail "$binary has no RELRO segment"
        readelf -dW "$file" | grep -Eq 'BIND_NOW|FLAGS.*NOW' || fail "$binary is not linked with -z now"
        if readelf -SW "$file" | grep -q '\.symtab'; then fail "$binary is not stripped"; fi
        if readelf -dW "$file" | grep -Eq '\((RPATH|RUNPATH)\)'; then fail "$binary has a run path"; fi
    else
        fail "no $programs/$binary in the package"
    fi
done

# --- lintian --------------------------------------------------------------------------------
# The source package and the binary ones, as a sponsor would check them.
changes=$(ls "$build"/corvalto_*.changes)
if ! lintian --pedantic -I --fail-on error,warning,info,pedantic "$changes" >"$work/lintian.log" 2>&1; then
    fail "lintian shows tags that are neither fixed nor overridden"
fi
echo "lintian:"
cat "$work/lintian.log"

# --- Upgrade, autopkgtests, install over 1.0.0: only on a throwaway machine ---------------------
record_dir=/var/games/corvalto
skip=""
if [ "$(id -u)" -ne 0 ]; then
    skip="not running as root (this test never asks for a password)"
elif dpkg-query -W -f='${db:Status-Status}' corvalto 2>/dev/null | grep -qv '^not-installed$'; then
    skip="a corvalto package is already known to dpkg on this machine"
elif [ -e "$record_dir" ]; then
    skip="the record folder $record_dir already exists on this machine"
elif ! command -v apt-get >/dev/null 2>&1 || ! command -v useradd >/dev/null 2>&1 ||
    ! command -v autopkgtest >/dev/null 2>&1; then
    skip="apt-get, useradd or autopkgtest is missing"
fi
if [ -n "$skip" ]; then
    echo "SKIPPED installing the package with apt: $skip"
    finish
fi

installed=no
record_parent=$(dirname "$record_dir")
parent_existed=no
[ -d "$record_parent" ] && parent_existed=yes
# Whatever happens, leave the machine as it was: no package, no folder, no accounts of ours.
# shellcheck disable=SC2317 # called by the trap
cleanup() {
    if [ "$installed" = yes ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q corvalto >/dev/null 2>&1 || true
    fi
    rm -rf "$record_dir"
    # postinst made the parent too when it was missing; purge leaves that empty folder.
    if [ "$parent_existed" = no ]; then rmdir "$record_parent" 2>/dev/null || true; fi
    remove_accounts
}
trap cleanup EXIT
trap 'exit 1' INT TERM
add_accounts

# --- An upgrade from 1.2.0 leaves the record where and as it was ----------------------------
old_commit=3c37e64
if ! git -C "$src" rev-parse -q --verify "$old_commit^{commit}" >/dev/null 2>&1; then
    echo "SKIPPED the upgrade from 1.2.0: this clone lacks its commit $old_commit"
else
    git clone -q --no-checkout "$src" "$work/old" && git -C "$work/old" checkout -q "$old_commit"
    sh "$work/old/packaging/build-deb.sh" "$work/old/build" >"$work/old-build.log" 2>&1 || {
        cat "$work/old-build.log" >&2
        echo "FAIL: 1.2.0's build-deb.sh failed" >&2
        exit 1
    }
    installed=yes
    apt_get install --no-install-recommends "$(tail -n 1 "$work/old-build.log")"
    printf 'Giulia' | as_player corvalto-test-a /usr/lib/corvalto/corvalto-record store 42 ||
        fail "1.2.0's store did not store"
    # The folder itself (not rebuilt beside it), and its entries' names, owners, modes and contents.
    snapshot() { (cd "$record_dir" && stat -c '%i %n' . && stat -c '%n %U:%G %a %F' ./* && cat ./*.txt); }
    snapshot >"$work/before-upgrade.txt"
    apt_get install --no-install-recommends "$deb"
    snapshot >"$work/after-upgrade.txt"
    diff -u "$work/before-upgrade.txt" "$work/after-upgrade.txt" >&2 || fail "the upgrade changed the record"
    check_record_folder "$record_dir" "upgraded from 1.2.0" "regular file"
    [ ! -e /usr/lib/corvalto ] || fail "upgraded from 1.2.0: /usr/lib/corvalto is still there"
    # A lower score is not stored: the new store reads the old record.
    status=0
    printf 'Bruno' | as_player corvalto-test-b "$store" store 41 >/dev/null 2>&1 || status=$?
    [ "$status" -eq 1 ] || fail "upgraded from 1.2.0: a lower score's store ended with status $status"
    apt_get purge corvalto
    installed=no
fi

# --- The autopkgtests, on this machine ------------------------------------------------------
# A throwaway machine stands for the testbed that Debian's CI reverts after breaks-testbed tests.
remove_accounts
installed=yes
status=0
autopkgtest --ignore-restrictions=breaks-testbed --output-dir "$work/autopkgtest" \
    "$(ls "$build"/corvalto_*.dsc)" "$deb" -- null >"$work/autopkgtest.log" 2>&1 || status=$?
installed=no
echo "autopkgtest: $(cat "$work/autopkgtest/summary" 2>/dev/null)"
if [ "$status" -ne 0 ]; then
    cat "$work/autopkgtest.log" >&2
    fail "autopkgtest ended with status $status"
fi
add_accounts
# A file outside the folder that a player may name in a link.
secret="$work/secret"
printf 'segreto\n' >"$secret"
chmod 0600 "$secret"

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
check_record_folder "$record_dir" "installed over 1.0.0" "regular file"
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
[ ! -e "$record_dir" ] || fail "purged after installing over 1.0.0: the record folder is still there"

finish
