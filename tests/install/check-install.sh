#!/bin/sh
# Installs a build into a staging folder as a packager would (DESTDIR, prefix /usr) and
# checks the installed layout; then checks the record folder's set-up (the install-time
# script and the package's maintainer scripts) on folders of its own, as root only: the set-up
# gives files to root and the games group.
#   check-install.sh <cmake> <build-dir> <work-dir> <project-version> <source-dir>
set -eu

cmake=$1
build=$2
work=$3
version=$4
src=$5

. "$(dirname "$0")/checks.sh"

rm -rf "$work"
mkdir -p "$work"
stage="$work/stage"
usr="$stage/usr"

record_dir=$(sed -n 's/^CORVALTO_RECORD_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
record_existed=no
[ -e "$record_dir" ] && record_existed=yes

# --- The staged install -------------------------------------------------------------------
if ! DESTDIR="$stage" "$cmake" --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "FAIL: cmake --install failed" >&2
    exit 1
fi
cat "$work/install.log"

if [ "$record_existed" = no ] && [ -e "$record_dir" ]; then
    fail "a staged install created the real record folder $record_dir"
fi

# Exactly these files and links: anything more is a stray install rule (a tool, a test,
# a static library), anything less a missing piece.
expected="$work/expected.txt"
cat >"$expected" <<'EOF'
usr/games/corvalto
usr/lib/games/corvalto/corvalto
usr/lib/games/corvalto/corvalto-record
usr/lib/games/corvalto/corvalto_audio.so
usr/lib/games/corvalto/suoni
usr/share/applications/corvalto.desktop
usr/share/games/corvalto/suoni/esplosi.wav
usr/share/games/corvalto/suoni/laser.wav
usr/share/games/corvalto/suoni/sparo.wav
usr/share/icons/hicolor/128x128/apps/corvalto.png
usr/share/icons/hicolor/256x256/apps/corvalto.png
usr/share/icons/hicolor/32x32/apps/corvalto.png
usr/share/icons/hicolor/48x48/apps/corvalto.png
usr/share/icons/hicolor/64x64/apps/corvalto.png
usr/share/man/it/man6/corvalto.6.gz
usr/share/man/man6/corvalto-record.6.gz
usr/share/man/man6/corvalto.6.gz
usr/share/metainfo/example.corvalto.corvalto.metainfo.xml
EOF
(cd "$stage" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed.txt"
if ! diff -u "$expected" "$work/installed.txt"; then
    fail "the installed files differ from the expected layout (- expected, + installed)"
fi

# --- The program, its sounds beside it, and the link -------------------------------------
program="$usr/lib/games/corvalto/corvalto"
if [ -f "$program" ] && [ -x "$program" ]; then
    file -b "$program" | grep -q '^ELF ' || fail "$program is not an ELF program"
    # An RPATH into the build tree would make the installed game load the build's libraries.
    if readelf -d "$program" | grep -E '\((RPATH|RUNPATH)\)' | grep -qF -e "$build" -e "$src"; then
        fail "the installed program keeps a run path into the build or source tree"
    fi
else
    fail "no executable program at usr/lib/games/corvalto/corvalto"
fi
# Through the link beside the program, where the game looks for them.
for sound in sparo esplosi laser; do
    f="$usr/lib/games/corvalto/suoni/$sound.wav"
    [ -f "$f" ] || {
        fail "suoni/$sound.wav is not found beside the program"
        continue
    }
    if [ "$(head -c 4 "$f")" != RIFF ] || [ "$(head -c 12 "$f" | tail -c 4)" != WAVE ]; then
        fail "suoni/$sound.wav is not a RIFF/WAVE file"
    fi
done
# The store: no Qt (everything that runs with the games group is small), and an ordinary program
# in a staging folder: the group and the setgid bit are the package's and the set-up's to give.
store="$usr/lib/games/corvalto/corvalto-record"
if [ -f "$store" ]; then
    if readelf -d "$store" | grep NEEDED | grep -v -e 'libstdc++' -e libgcc_s -e 'libc\.' -e 'libm\.'; then
        fail "the store links more than the C++ library and libc"
    fi
    [ "$(stat -c %a "$store")" = 755 ] || fail "staged store has mode $(stat -c %a "$store"), not 755"
fi
link="$usr/games/corvalto"
if [ -L "$link" ]; then
    target=$(readlink "$link")
    [ "$target" = ../lib/games/corvalto/corvalto ] ||
        fail "usr/games/corvalto points to '$target', not ../lib/games/corvalto/corvalto"
    [ "$(readlink -f "$link")" = "$(readlink -f "$program")" ] ||
        fail "usr/games/corvalto does not lead to the installed program"
else
    fail "usr/games/corvalto is not a symbolic link"
fi

# --- Desktop entry -----------------------------------------------------------------------
desktop="$usr/share/applications/corvalto.desktop"
if [ -f "$desktop" ]; then
    # Errors and warnings fail; hints (two main categories, on purpose) are shown only.
    if ! desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 ||
        grep -E ': (error|warning):' "$work/desktop.log" >/dev/null; then
        cat "$work/desktop.log" >&2
        fail "desktop-file-validate rejects corvalto.desktop"
    fi
    key() { sed -n "s/^$1=//p" "$desktop" | head -n 1; }
    [ "$(key Name)" = Corvalto ] || fail "desktop entry: Name is '$(key Name)'"
    exec_cmd=$(key Exec)
    [ -L "$usr/games/$exec_cmd" ] || [ -x "$usr/bin/$exec_cmd" ] ||
        fail "desktop entry: Exec=$exec_cmd is not an installed command"
    icon=$(key Icon)
    [ -f "$usr/share/icons/hicolor/48x48/apps/$icon.png" ] ||
        fail "desktop entry: Icon=$icon has no installed picture"
    key Categories | grep -q '\(^\|;\)Game;' || fail "desktop entry: not in the Game category"
    [ -n "$(key Keywords)" ] || fail "desktop entry: no Keywords"
fi

# --- Icons: one PNG per size, of that size -------------------------------------------------
for size in 32 48 64 128 256; do
    f="$usr/share/icons/hicolor/${size}x${size}/apps/corvalto.png"
    [ -f "$f" ] || continue
    file -b "$f" | grep -q "^PNG image data, $size x $size," ||
        fail "icon ${size}x${size}: $(file -b "$f")"
done

# --- AppStream metadata --------------------------------------------------------------------
metainfo="$usr/share/metainfo/example.corvalto.corvalto.metainfo.xml"
if [ -f "$metainfo" ]; then
    if ! appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1; then
        cat "$work/appstream.log" >&2
        fail "appstreamcli rejects the metainfo file"
    fi
    grep -q '<id>example\.corvalto\.corvalto</id>' "$metainfo" ||
        fail "metainfo: the component id does not match the file's name"
    launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
    if [ -z "$launchable" ] || [ ! -f "$usr/share/applications/$launchable" ]; then
        fail "metainfo: launchable '$launchable' is not an installed desktop entry"
    fi
    newest=$(sed -n 's|.*<release version="\([^"]*\)".*|\1|p' "$metainfo" | head -n 1)
    [ "$newest" = "$version" ] ||
        fail "metainfo: newest release is '$newest', the project is $version"
fi

# --- Manual pages ----------------------------------------------------------------------
# gzip -9n: no stored name (FLG bit 3), no time stamp (MTIME 0), best compression (XFL 2).
check_gzip_9n() {
    header=$(od -An -tu1 -N9 "$1" | tr -s ' ' | sed 's/^ //')
    # shellcheck disable=SC2086
    set -- "$1" $header
    if [ $# -ne 10 ] || [ "$2" -ne 31 ] || [ "$3" -ne 139 ] || [ $(($5 & 8)) -ne 0 ] ||
        [ "$6$7$8$9" != 0000 ] || [ "${10}" -ne 2 ]; then
        fail "${1#"$stage"/} is not compressed with gzip -9n (header: $header)"
    fi
}
# The text on standard input with this build's record folder replaced by the package's.
packaged_page() {
    from=$record_dir awk '{
        out = ""
        while (ENVIRON["from"] != "" && (i = index($0, ENVIRON["from"])) > 0) {
            out = out substr($0, 1, i - 1) "/var/games/corvalto"
            $0 = substr($0, i + length(ENVIRON["from"]))
        }
        print out $0
    }'
}
for page in "$usr/share/man/man6/corvalto.6.gz" "$usr/share/man/it/man6/corvalto.6.gz" \
    "$usr/share/man/man6/corvalto-record.6.gz"; do
    [ -f "$page" ] || continue
    check_gzip_9n "$page"
    zcat "$page" | grep -q '^\.TH CORVALTO[-A-Z]* 6 ' || fail "${page#"$stage"/} is not a section 6 page"
    if zcat "$page" | grep -q '@[A-Z_]*@'; then fail "${page#"$stage"/} keeps an unconfigured @VARIABLE@"; fi
    # troff, as lintian runs it, on the page as packaged: this build's record folder lies
    # wherever the clone does, and a long path cannot be fitted to a line.
    if command -v man >/dev/null 2>&1; then
        warnings=$(zcat "$page" | packaged_page |
            LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z - 2>&1 >/dev/null) || true
        [ -z "$warnings" ] || fail "${page#"$stage"/}: $warnings"
    fi
done

# --- The record folder's set-up, on folders of our own -------------------------------------
# The maintainer scripts, with the folder moved into our work folder; record-dir.cmake runs the
# same postinst.
mrec="$work/var/games/corvalto"
record_bound=$(sed -n 's/^CORVALTO_RECORD_MAX_FILE_SIZE:INTERNAL=//p' "$build/CMakeCache.txt")
for script in postinst postrm; do
    sed -e "s|@CORVALTO_RECORD_DIR@|$mrec|g" -e "s|@CORVALTO_RECORD_MAX_FILE_SIZE@|$record_bound|g" \
        "$src/packaging/$script.in" >"$work/$script"
done
# record_dir_cmake FOLDER [BUILD]: as cmake --install of a build in BUILD runs it, with the
# script, the set-up and the prefix in $scripts. This work folder lies in our own build tree: a
# made-up build folder stands for a build elsewhere.
record_dir_cmake() {
    (cd "$scripts" && $as_user "$cmake" -DCORVALTO_RECORD_DIR="$1" \
        -DCORVALTO_RECORD_SETUP="$scripts/postinst" -DCORVALTO_BUILD_DIR="${2:-/nonexistent/build}" \
        -DCORVALTO_STORE_PATH=lib/games/corvalto/corvalto-record -DCMAKE_INSTALL_PREFIX="$scripts/prefix" \
        -P "$scripts/record-dir.cmake")
}
cp "$src/packaging/record-dir.cmake" "$work/"
scripts=$work
as_user=""

# A staged install, or a build whose record lies in its build tree, never touches the machine;
# not as root, the install says what to run.
DESTDIR="$work/elsewhere" record_dir_cmake "$mrec" >/dev/null
[ ! -e "$mrec" ] || fail "record-dir.cmake: set up the folder in a staged install"
record_dir_cmake "$mrec" "$work" >/dev/null
[ ! -e "$mrec" ] || fail "record-dir.cmake: set up a folder inside the build tree"
# Root checks that as nobody, who cannot enter a clone in a 0700 home (every home on Debian):
# nobody gets copies in a fresh folder of its own, and may create the record folder there.
guest=""
unprivileged_rec=$mrec
if [ "$(id -u)" -eq 0 ]; then
    guest=$(mktemp -d /tmp/corvalto-install.XXXXXX)
    trap 'rm -rf "$guest"' EXIT
    trap 'exit 1' INT TERM
    cp "$work/record-dir.cmake" "$work/postinst" "$guest/"
    mkdir "$guest/var"
    chmod -R a+rX "$guest"
    chown 65534:65534 "$guest/var"
    unprivileged_rec="$guest/var/corvalto"
    scripts=$guest
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
record_dir_cmake "$unprivileged_rec" >"$work/record-warning.log" 2>&1 ||
    fail "record-dir.cmake: an install without root fails"
as_user=""
scripts=$work
# CMake wraps long warnings: join the lines before looking for the advice.
tr -s ' \n' '  ' <"$work/record-warning.log" | grep -q "sudo cmake --install /nonexistent/build" ||
    fail "record-dir.cmake: no advice when not run as root"
[ ! -e "$unprivileged_rec" ] || fail "record-dir.cmake: touched the folder without root"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED the record folder's set-up: it gives files to root and the games group"
else
    # Hostile contents must never lead the set-up out of the folder: these stay as they are.
    secret="$work/secret"
    printf 'segreto\n' >"$secret"
    chmod 0600 "$secret"
    mkdir -p "$work/secretdir"
    : >"$work/secretdir/keep"
    check_secrets() {
        if [ "$(cat "$secret")" != segreto ] || [ "$(node "$secret")" != "root:root 600 regular file" ] ||
            [ "$(stat -c %h "$secret")" != 1 ]; then
            fail "$1: the file outside the folder was touched"
        fi
        [ -f "$work/secretdir/keep" ] || fail "$1: a folder outside the record folder was emptied"
        [ ! -e "$work/nothing-here" ] || fail "$1: a dangling link's target was created"
    }
    # A new machine, under a umask that would hide everything: the parents 0755 root:root.
    (umask 077 && sh "$work/postinst" configure)
    expect_node "$work/var" "root:root 755 directory" "postinst on a new machine"
    check_record_folder "$mrec" "postinst on a new machine" "regular empty file" "regular empty file"

    # Over 1.0.0: a folder 0777 of a player's, record files of two players (one still holding
    # the name file open for writing), their lock file and temporary file, and what a curious
    # player planted, dot-names too. The record survives; everything else goes.
    rm -rf "$mrec"
    mkdir "$mrec"
    printf ' 120\r\n' >"$mrec/avelmora.txt"
    printf 'Giulia\r\n' >"$mrec/velmora.txt"
    printf 'lock\n' >"$mrec/velmora.lock"
    printf '99\r\n' >"$mrec/avelmora.txt.tmp"
    chown 64999:64999 "$mrec" "$mrec/avelmora.txt" "$mrec/velmora.lock" "$mrec/avelmora.txt.tmp"
    chown 65534:65534 "$mrec/velmora.txt"
    chmod 0777 "$mrec"
    chmod 0666 "$mrec"/*
    ln -s "$secret" "$mrec/planted-link"
    mkfifo "$mrec/planted-fifo"
    mkdir -p "$mrec/planted-dir/deeper"
    ln -s "$work/secretdir" "$mrec/planted-dir/escape"
    ln -s "$secret" "$mrec/planted-dir/deeper/secret"
    : >"$mrec/.hidden"
    : >"$mrec/..odd"
    : >"$mrec/-rf"
    exec 7>>"$mrec/velmora.txt"
    timeout 60 sh "$work/postinst" configure 1.0.0 || fail "postinst over 1.0.0 failed"
    echo "written through an old descriptor" >&7
    exec 7>&-
    check_record_folder "$mrec" "postinst over 1.0.0" "regular file" "regular file"
    [ "$(cat "$mrec/avelmora.txt")" = "$(printf ' 120\r')" ] ||
        fail "postinst over 1.0.0: the record score is '$(cat "$mrec/avelmora.txt")'"
    [ "$(cat "$mrec/velmora.txt")" = "$(printf 'Giulia\r')" ] ||
        fail "postinst over 1.0.0: the record name is '$(cat "$mrec/velmora.txt")'"
    check_secrets "postinst over 1.0.0"

    # Whatever sits under the three names of a 1.0.0 folder: a plain file at the bound is kept,
    # anything else becomes an empty file without being read, followed or emptied.
    plant() {
        case $2 in
        link) ln -s "$secret" "$mrec/$1" ;;
        dangling) ln -s "$work/nothing-here" "$mrec/$1" ;;
        hardlink) ln "$secret" "$mrec/$1" ;;
        fifo) mkfifo "$mrec/$1" ;;
        folder) mkdir "$mrec/$1" && ln -s "$work/secretdir" "$mrec/$1/escape" ;;
        oversized) head -c 98304 /dev/zero | tr '\0' 7 >"$mrec/$1" ;;
        bound) head -c "$record_bound" /dev/zero | tr '\0' 7 >"$mrec/$1" ;;
        # A player's hard link to a root-only file whose original root has since replaced.
        rootonly) printf ' 99\r\n' >"$mrec/$1" && chmod 0600 "$mrec/$1" ;;
        esac
    }
    for round in "link hardlink fifo" "folder oversized link" "bound dangling hardlink" \
        "hardlink folder folder" "fifo bound dangling" "rootonly rootonly rootonly"; do
        rm -rf "$mrec"
        mkdir -m 0777 "$mrec"
        # shellcheck disable=SC2086 # one word per record name
        set -- $round
        plant avelmora.txt "$1"
        plant velmora.txt "$2"
        plant velmora.lock "$3"
        timeout 60 sh "$work/postinst" configure 1.0.0 || fail "postinst over '$round' failed"
        kept_score="regular empty file"
        kept_name="regular empty file"
        [ "$1" = bound ] && kept_score="regular file"
        [ "$2" = bound ] && kept_name="regular file"
        check_record_folder "$mrec" "postinst over '$round'" "$kept_score" "$kept_name"
        check_secrets "postinst over '$round'"
        for f in avelmora.txt velmora.txt; do
            if [ "$(node "$mrec/$f")" = "root:games 664 regular file" ] &&
                [ "$(stat -c %s "$mrec/$f")" != "$record_bound" ]; then
                fail "postinst over '$round': $f has $(stat -c %s "$mrec/$f") bytes, not the $record_bound kept"
            fi
        done
    done

    # A player who keeps filling a folder of their own under the older set-up's temporary name,
    # with their own lock file and its forged journal, in a 1.0.0 folder and in one a set-up that
    # stopped half done left root:games 2775: the set-up neither stops nor trusts it, and leaves
    # nothing of the player's in the folder.
    for mode in 0777 2775; do
        rm -rf "$mrec"
        mkdir "$mrec" "$mrec/.avelmora.txt.new"
        chgrp games "$mrec" && chmod "$mode" "$mrec"
        printf ' 7\r\n' >"$mrec/avelmora.txt" && printf 'forged journal' >"$mrec/velmora.lock"
        chown 64999:64999 "$mrec/velmora.lock" "$mrec/.avelmora.txt.new"
        setpriv --reuid=64999 --regid=64999 --clear-groups sh -c \
            'cd "$0" && i=0 && while [ $i -lt 200000 ]; do : >"f$i"; i=$((i + 1)); done' \
            "$mrec/.avelmora.txt.new" 2>/dev/null &
        sleep 0.5
        timeout 60 sh "$work/postinst" configure 1.1.0 2>/dev/null ||
            fail "postinst over a player's busy folder ($mode) failed"
        kill $! && wait $! 2>/dev/null || true
        check_record_folder "$mrec" "postinst over a player's busy folder ($mode)" "regular file" "regular empty file"
    done
    rm -rf "$work"/var/games/.corvalto-old.*

    # A folder already set up: configured again (or upgraded later) it keeps a pending journal
    # in the lock file and what an administrator put there, and takes back from a player a record
    # file the store had to create for them.
    rm -rf "$mrec"
    sh "$work/postinst" configure
    printf 'Marco\r\n' >"$mrec/velmora.new"
    chown 65534:games "$mrec/velmora.new"
    mv "$mrec/velmora.new" "$mrec/velmora.txt"
    printf 'a journal\n' >"$mrec/velmora.lock"
    printf 'note\n' >"$mrec/LEGGIMI"
    sh "$work/postinst" configure 1.1.0 || fail "postinst configured again failed"
    expect_node "$mrec/velmora.txt" "root:games 664 regular file" "postinst configured again"
    [ "$(cat "$mrec/velmora.txt")" = "$(printf 'Marco\r')" ] ||
        fail "postinst configured again: the record name is '$(cat "$mrec/velmora.txt")'"
    expect_node "$mrec/velmora.lock" "root:games 660 regular file" "postinst configured again"
    [ "$(cat "$mrec/velmora.lock")" = "a journal" ] || fail "postinst configured again: the journal is lost"
    [ -f "$mrec/LEGGIMI" ] || fail "postinst configured again: removed an administrator's file"

    # A store stopped while it holds the lock (flock(1) under the store's name), its lock file
    # kept or deleted since by an administrator: the set-up stops and replaces nothing.
    cp "$(command -v flock)" "$work/corvalto-record"
    for deleted in no yes; do
        rm -rf "$mrec" && sh "$work/postinst" configure
        before=$(stat -c %i "$mrec/avelmora.txt")
        "$work/corvalto-record" "$mrec/velmora.lock" sleep 60 &
        sleep 0.5
        if [ "$deleted" = yes ]; then rm "$mrec/velmora.lock"; fi
        if timeout 60 sh "$work/postinst" configure 1.1.0 2>/dev/null ||
            [ "$(stat -c %i "$mrec/avelmora.txt")" != "$before" ]; then
            fail "postinst went on beside a stopped store (lock file deleted: $deleted)"
        fi
        kill $! && wait $! 2>/dev/null || true
    done

    # A link or a file where the folder should be stops the set-up, and nothing is changed
    # through it.
    rm -rf "$mrec"
    mkdir -m 0700 "$work/elsewhere-dir"
    ln -s "$work/elsewhere-dir" "$mrec"
    if sh "$work/postinst" configure 2>/dev/null; then fail "postinst accepted a link as the folder"; fi
    expect_node "$work/elsewhere-dir" "root:root 700 directory" "postinst on a link"
    [ -z "$(ls -A "$work/elsewhere-dir")" ] || fail "postinst on a link: wrote through it"
    rm -f "$mrec"

    # cmake --install as root: the same folder, and the store setgid games.
    mkdir -p "$work/prefix/lib/games/corvalto"
    cp "$src/packaging/record-dir.cmake" "$work/prefix/lib/games/corvalto/corvalto-record"
    chmod 0755 "$work/prefix/lib/games/corvalto/corvalto-record"
    (umask 077 && record_dir_cmake "$mrec") >/dev/null || fail "record-dir.cmake as root failed"
    check_record_folder "$mrec" "record-dir.cmake as root" "regular empty file" "regular empty file"
    expect_node "$work/prefix/lib/games/corvalto/corvalto-record" "root:games 2755 regular file" \
        "record-dir.cmake as root"

    # Upgrades and removal keep the record; only purge deletes it.
    printf 'Anna\r\n' >"$mrec/velmora.txt"
    for step in upgrade remove; do
        sh "$work/postrm" "$step"
        [ -f "$mrec/velmora.txt" ] || fail "postrm $step: the record did not survive"
    done
    sh "$work/postrm" purge
    [ ! -e "$mrec" ] || fail "postrm purge: the record folder is still there"
    check_secrets "postrm purge"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install layout: all checks passed"
