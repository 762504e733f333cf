#!/bin/sh
# Installs a build into a staging folder as a packager would (DESTDIR, prefix /usr) and
# checks the installed layout; then checks the record folder's set-up (the install-time
# script and the package's maintainer scripts) on folders of its own.
#   check-install.sh <cmake> <build-dir> <work-dir> <project-version> <source-dir>
set -eu

cmake=$1
build=$2
work=$3
version=$4
src=$5

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

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
usr/lib/corvalto/corvalto
usr/lib/corvalto/corvalto-record
usr/lib/corvalto/corvalto_audio.so
usr/lib/corvalto/suoni/esplosi.wav
usr/lib/corvalto/suoni/laser.wav
usr/lib/corvalto/suoni/sparo.wav
usr/share/applications/corvalto.desktop
usr/share/doc/corvalto/changelog.gz
usr/share/doc/corvalto/copyright
usr/share/icons/hicolor/128x128/apps/corvalto.png
usr/share/icons/hicolor/256x256/apps/corvalto.png
usr/share/icons/hicolor/32x32/apps/corvalto.png
usr/share/icons/hicolor/48x48/apps/corvalto.png
usr/share/icons/hicolor/64x64/apps/corvalto.png
usr/share/lintian/overrides/corvalto
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
program="$usr/lib/corvalto/corvalto"
if [ -f "$program" ] && [ -x "$program" ]; then
    file -b "$program" | grep -q '^ELF ' || fail "$program is not an ELF program"
    # An RPATH into the build tree would make the installed game load the build's libraries.
    if readelf -d "$program" | grep -E '\((RPATH|RUNPATH)\)' | grep -qF -e "$build" -e "$src"; then
        fail "the installed program keeps a run path into the build or source tree"
    fi
else
    fail "no executable program at usr/lib/corvalto/corvalto"
fi
for sound in sparo esplosi laser; do
    f="$usr/lib/corvalto/suoni/$sound.wav"
    [ -f "$f" ] || continue
    if [ "$(head -c 4 "$f")" != RIFF ] || [ "$(head -c 12 "$f" | tail -c 4)" != WAVE ]; then
        fail "suoni/$sound.wav is not a RIFF/WAVE file"
    fi
done
# The store: no Qt (everything that runs with the games group is small), and an ordinary program
# in a staging folder: the group and the setgid bit are the package's and the set-up's to give.
store="$usr/lib/corvalto/corvalto-record"
if [ -f "$store" ]; then
    if readelf -d "$store" | grep NEEDED | grep -v -e 'libstdc++' -e libgcc_s -e 'libc\.' -e 'libm\.'; then
        fail "the store links more than the C++ library and libc"
    fi
    [ "$(stat -c %a "$store")" = 755 ] || fail "staged store has mode $(stat -c %a "$store"), not 755"
fi
link="$usr/games/corvalto"
if [ -L "$link" ]; then
    target=$(readlink "$link")
    [ "$target" = ../lib/corvalto/corvalto ] ||
        fail "usr/games/corvalto points to '$target', not ../lib/corvalto/corvalto"
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

# --- Manual pages and documentation --------------------------------------------------------
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
for page in "$usr/share/man/man6/corvalto.6.gz" "$usr/share/man/it/man6/corvalto.6.gz" \
    "$usr/share/man/man6/corvalto-record.6.gz"; do
    [ -f "$page" ] || continue
    check_gzip_9n "$page"
    zcat "$page" | grep -q '^\.TH CORVALTO[-A-Z]* 6 ' || fail "${page#"$stage"/} is not a section 6 page"
    if zcat "$page" | grep -q '@[A-Z_]*@'; then fail "${page#"$stage"/} keeps an unconfigured @VARIABLE@"; fi
    if command -v man >/dev/null 2>&1; then
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) || true
        [ -z "$warnings" ] || fail "${page#"$stage"/}: $warnings"
    fi
done
changelog="$usr/share/doc/corvalto/changelog.gz"
if [ -f "$changelog" ]; then
    check_gzip_9n "$changelog"
    top=$(zcat "$changelog" | head -n 1)
    case $top in
    "corvalto ($version) "*) ;;
    *) fail "changelog: newest entry '$top' is not version $version" ;;
    esac
fi
overrides="$usr/share/lintian/overrides/corvalto"
if [ -f "$overrides" ]; then
    grep -q '^corvalto: elevated-privileges 2755 root/games \[usr/lib/corvalto/corvalto-record\]$' "$overrides" ||
        fail "lintian overrides: no note for the setgid store"
fi
copyright="$usr/share/doc/corvalto/copyright"
if [ -f "$copyright" ]; then
    head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "copyright: not in the machine-readable format"
fi

# --- The record folder's set-up, on folders of our own -------------------------------------
# The install-time script: creates a missing folder 0777 (no sticky bit) whatever the
# umask, leaves an existing one alone, and never acts in a staged install.
rec="$work/rec/corvalto"
(umask 077 && "$cmake" -DCORVALTO_RECORD_DIR="$rec" -P "$src/packaging/record-dir.cmake") >/dev/null
[ "$(stat -c %a "$rec" 2>/dev/null)" = 777 ] ||
    fail "record-dir.cmake: new folder has mode '$(stat -c %a "$rec" 2>/dev/null)', not 777"
chmod 0750 "$rec"
"$cmake" -DCORVALTO_RECORD_DIR="$rec" -P "$src/packaging/record-dir.cmake" >/dev/null
[ "$(stat -c %a "$rec")" = 750 ] || fail "record-dir.cmake: changed an existing folder's mode"
rm -rf "$work/rec"
DESTDIR="$work/elsewhere" "$cmake" -DCORVALTO_RECORD_DIR="$rec" -P "$src/packaging/record-dir.cmake" >/dev/null
[ ! -e "$rec" ] || fail "record-dir.cmake: created the folder in a staged install"
# A folder it cannot create is a warning, not a failed install.
touch "$work/not-a-folder"
if ! "$cmake" -DCORVALTO_RECORD_DIR="$work/not-a-folder/corvalto" -P "$src/packaging/record-dir.cmake" \
    >"$work/record-warning.log" 2>&1; then
    fail "record-dir.cmake: an uncreatable folder fails the install"
fi
# CMake wraps long warnings: join the lines before looking for the advice.
tr -s ' \n' '  ' <"$work/record-warning.log" | grep -q 'chmod 0777' ||
    fail "record-dir.cmake: no advice when the folder cannot be created"

# The maintainer scripts, with the folder moved into our work folder: configure creates it
# 0777 whatever the umask and keeps an existing one as it is; upgrade and removal keep it
# with its files; only purge deletes it.
mrec="$work/var/games/corvalto"
for script in postinst postrm; do
    sed "s|@CORVALTO_RECORD_DIR@|$mrec|g" "$src/packaging/$script.in" >"$work/$script"
done
(umask 077 && sh "$work/postinst" configure)
[ "$(stat -c %a "$mrec" 2>/dev/null)" = 777 ] ||
    fail "postinst configure: folder mode '$(stat -c %a "$mrec" 2>/dev/null)', not 777"
echo "Anna" >"$mrec/record.txt"
chmod 0775 "$mrec"
sh "$work/postinst" configure 1.0.0
[ "$(stat -c %a "$mrec")" = 775 ] || fail "postinst configure: changed an existing folder's mode"
for step in upgrade remove; do
    sh "$work/postrm" "$step"
    [ -f "$mrec/record.txt" ] || fail "postrm $step: the record did not survive"
done
sh "$work/postrm" purge
[ ! -e "$mrec" ] || fail "postrm purge: the record folder is still there"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install layout: all checks passed"
