#!/bin/sh
# Builds the Debian package of Corvalto and prints the path of the .deb on the last line.
#   packaging/build-deb.sh [build-dir]      (default: build/package in the source tree)
# Needs: cmake, ninja-build, g++, the Qt 6 dev packages, dpkg-dev (dpkg-buildflags,
# dpkg-shlibdeps) and fakeroot. Runs as a normal user and installs nothing.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$src/build/package"}
case $build in
/*) ;;
*) build="$(pwd)/$build" ;;
esac

for tool in cmake cpack ninja dpkg-buildflags dpkg-shlibdeps dpkg-deb fakeroot; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "build-deb.sh: $tool is missing (packages: cmake ninja-build dpkg-dev fakeroot)" >&2
        exit 1
    fi
done

# dpkg-buildflags maps the source folder to "." in debug paths relative to where it runs.
cd "$src"
# The hardening flags Debian builds with, all of them (bindnow and PIE included).
# CMake ignores CPPFLAGS, so the preprocessor flags (_FORTIFY_SOURCE) go into CXXFLAGS.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S "$src" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
    -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
    -DBUILD_TESTING=OFF \
    -DCORVALTO_BENCH=OFF
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

cd "$build"
log=$(mktemp)
unpacked=$(mktemp -d)
trap 'rm -rf "$log" "$unpacked"' EXIT
status=0
cpack --config CPackConfig.cmake -G DEB >"$log" 2>&1 || status=$?
cat "$log"
[ "$status" -eq 0 ] || exit "$status"
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log")
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
    echo "build-deb.sh: cpack did not report a .deb" >&2
    exit 1
fi

# CPack writes every file as root:root. The store must be root:games 2755 (it alone writes the
# shared record folder), so the package is unpacked and packed again under fakeroot with that
# one file changed, as debhelper does between dh_fixperms and dh_builddeb.
# shellcheck disable=SC2016 # the inner shell expands its own arguments
fakeroot sh -euc '
    dpkg-deb -R "$1" "$2/root"
    chgrp games "$2/root/usr/lib/corvalto/corvalto-record"
    chmod 2755 "$2/root/usr/lib/corvalto/corvalto-record"
    dpkg-deb -b "$2/root" "$1" >/dev/null
' sh "$deb" "$unpacked"
echo "$deb"
