#!/bin/sh
# Builds Corvalto's Debian source and binary packages with dpkg-buildpackage and prints the path
# of the .deb on the last line.
#   packaging/build-deb.sh [build-dir [dpkg-buildpackage options...]]
# build-dir defaults to build/package in the source tree, the options to -us -uc (unsigned
# source and binary packages; -b for the binary package alone). The tree, without build/ and
# .git, is copied to <build-dir>/corvalto-<version>/, and its upstream tarball, the same files
# without debian/, is made beside it, so that everything dpkg-buildpackage writes lands in
# build-dir. Needs dpkg-dev, debhelper, the Build-Depends of debian/control and, unless run as
# root, fakeroot. Installs nothing.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$src/build/package"}
[ $# -eq 0 ] || shift
[ $# -ne 0 ] || set -- -us -uc
case $build in
/*) ;;
*) build="$(pwd)/$build" ;;
esac

for tool in dpkg-buildpackage dpkg-parsechangelog dh xz; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "build-deb.sh: $tool is missing (packages: dpkg-dev debhelper xz-utils)" >&2
        exit 1
    fi
done

version=$(dpkg-parsechangelog -l "$src/debian/changelog" -SVersion)
upstream=${version%-*}
# The time of the newest changelog entry: the same tarball from the same files, whenever made.
epoch=$(dpkg-parsechangelog -l "$src/debian/changelog" -STimestamp)
tree="$build/corvalto-$upstream"

mkdir -p "$build"
rm -rf "$tree" "$build"/corvalto_* "$build"/corvalto-dbgsym_*
mkdir "$tree"
(cd "$src" && tar -cf - --exclude=./build --exclude=./.git --exclude='./obj-*' .) |
    (cd "$tree" && tar -xmf - --no-same-owner)
# The copy's files are all newer than the changelog entry (tar -m), so that the package gives
# each the entry's time. The tarball: the same names in the same order with the same owners,
# modes and times, whatever the umask and the file system.
(cd "$build" && tar -cf - --format=gnu --sort=name --mtime="@$epoch" --owner=0 --group=0 \
    --numeric-owner --mode='a+rX,u+w,go-w' --exclude="corvalto-$upstream/debian" \
    "corvalto-$upstream") | xz -6 -T1 >"$build/corvalto_$upstream.orig.tar.xz"

(cd "$tree" && dpkg-buildpackage "$@")

deb=$(ls "$build/corvalto_${version}_"*.deb)
echo "$deb"
