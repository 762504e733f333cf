#!/bin/sh
# Builds Debian 12's own Qt (qtbase only) for 64-bit Windows with MinGW-w64, into a cache outside
# the clone, and prints the installed prefix on its last line. A cache that is present is reused:
# its folder is named after the Qt version and a digest of the options, the patch and the
# toolchain, so changing any of them builds a new one.
#   tools/windows/qt.sh            build if missing, print the prefix
# Needs: the build packages of tools/dev.sh windows. About 35 minutes on a quiet 2-core machine.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
# The host Qt's tools build the Windows one, so both must be the same Debian version.
debversion=$(dpkg-query -W -f='${Version}' qt6-base-dev)
version=${debversion%%+*}
# Only what a Widgets program needs. Sound goes through winmm, so no Qt Multimedia and no network.
options="-release -shared -nomake tests -nomake examples -xplatform win32-g++
    -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-doubleconversion -no-opengl -no-dbus -no-icu
    -no-freetype -no-feature-sql -no-feature-printsupport -no-feature-concurrent -no-feature-xml
    -no-feature-network -no-feature-testlib -no-feature-vulkan -no-feature-direct2d
    -no-feature-tabletevent -no-feature-zstd"
key=$(printf '%s\n' "$debversion $options" | cat - "$here/qtbase-no-direct2d.patch" "$here/mingw64.cmake" |
    sha256sum | cut -c1-10)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/corvalto
prefix=$cache/qt-$version-mingw64-$key

if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work=$cache/work-$key
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/lists/partial"
cd "$work"

# Debian's own sources of the Qt the Linux build uses, through a private apt configuration so
# that the machine's sources stay as they are.
cat >apt/sources.list <<SOURCES
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
SOURCES
aptopts="-o Dir::Etc::sourcelist=$work/apt/sources.list -o Dir::Etc::sourceparts=- -o Dir::State::Lists=$work/apt/lists"
# shellcheck disable=SC2086
apt-get $aptopts -q update
# shellcheck disable=SC2086
apt-get $aptopts -q --download-only source "qt6-base=$debversion"
dpkg-source --skip-patches -x qt6-base_"${debversion#*:}".dsc src >/dev/null
patch -d src -p1 <"$here/qtbase-no-direct2d.patch"

# The toolchain file is copied into the prefix: Qt's own toolchain file loads it by absolute path.
mkdir -p "$prefix"
cp "$here/mingw64.cmake" "$prefix/mingw64.cmake"
mkdir build
cd build
# shellcheck disable=SC2086
../src/configure -prefix "$prefix" -qt-host-path /usr $options -- \
    -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw64.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build . --parallel "$(nproc 2>/dev/null || echo 2)"
cmake --install . --strip
cd "$cache"
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix"
