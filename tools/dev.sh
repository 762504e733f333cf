#!/bin/sh
# One entry point for a fresh Debian 12 machine:
#   tools/dev.sh play    install what the game needs, build it and start it
#   tools/dev.sh test    install what the tests need, build twice (plain and ASan+UBSan), run every test
#   tools/dev.sh bench   build and run the benchmarks (see bench/README.md)
#   tools/dev.sh fuzz [runs [seconds]]
#                        build the store's libFuzzer targets (preset fuzz, clang) and run each
#                        for `runs` inputs (default 20000000), at most `seconds` each if given
#   tools/dev.sh windows cross-build the game for 64-bit Windows (Qt from Debian's sources, built
#                        once into ~/.cache/corvalto), its zip, its installer and its MSI package,
#                        in build/windows
#   tools/dev.sh windows-test
#                        the same, then install it in a fresh Wine prefix and play it there
#   tools/dev.sh windows-bench
#                        the same build, then the game's start to its prompt under Wine against a
#                        bare Qt program for Windows (bench/windows.sh)
#   tools/dev.sh reproducible [deb|windows]
#                        build the checked-out commit twice, in different folders, at different
#                        times, with different umasks, locales and time zones, and compare: the
#                        Debian packages, the Windows zip and installer, or (default) both
# Works as root and as a normal user with sudo.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

if [ "$(id -u)" -eq 0 ]; then as_root=""; else as_root="sudo"; fi

build_packages="cmake ninja-build g++ qt6-base-dev qt6-multimedia-dev qt6-translations-l10n \
    libgl-dev libxcb1-dev fonts-liberation fonts-dejavu-core"
deb_packages="dpkg-dev debhelper fakeroot xz-utils"
test_packages="$deb_packages xvfb xauth xdotool x11-utils imagemagick openbox pulseaudio \
    pulseaudio-utils man-db desktop-file-utils appstream lintian autopkgtest git file util-linux \
    weston qt6-wayland dbus-daemon dbus-bin at-spi2-core gir1.2-atspi-2.0 python3-gi strace"
fuzz_packages="cmake ninja-build clang libclang-rt-14-dev llvm"
windows_packages="g++-mingw-w64-x86-64-posix nsis wixl msitools uuid-runtime dpkg-dev xz-utils patch zip"
windows_test_packages="wine wine64 xvfb xauth xdotool x11-utils xclip imagemagick pulseaudio \
    pulseaudio-utils"

install_packages() {
    missing=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        $as_root apt-get update -q
        $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
    fi
}

jobs=$(nproc 2>/dev/null || echo 2)

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
}

# The play preset keeps its record in its own build tree, owned by whoever plays: the store then
# runs unprivileged, and nothing setgid or world-writable is left on the machine. The store does
# not create the folder itself.
make_record_folder() {
    dir=$(sed -n 's/^CORVALTO_RECORD_DIR:PATH=//p' build/play/CMakeCache.txt)
    case $dir in
    "$here"/build/play/*) ;;
    *)
        echo "dev.sh: build/play keeps its record in '$dir', outside its build tree;" \
            "remove build/play and try again" >&2
        exit 1
        ;;
    esac
    [ -d "$dir" ] || mkdir -m 0755 "$dir"
}

# Starts a private X server and sound server for the tests; both are stopped on exit.
start_test_services() {
    run=$(mktemp -d /tmp/corvalto-test.XXXXXX)
    display=":$((90 + $$ % 100))"
    Xvfb "$display" -screen 0 1280x1024x24 -noreset -nolisten tcp >"$run/xvfb.log" 2>&1 &
    xvfb_pid=$!
    mkdir -m 0700 "$run/pulse"
    XDG_RUNTIME_DIR="$run/pulse" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --use-pid-file=no --disallow-exit \
        --load="module-null-sink sink_name=nullsink rate=44100 norewinds=1" \
        --load="module-native-protocol-unix socket=$run/pulse/native" \
        >"$run/pulse.log" 2>&1 &
    pulse_pid=$!
    trap 'kill $xvfb_pid $pulse_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$run"' EXIT INT TERM
    export DISPLAY="$display"
    export PULSE_SERVER="unix:$run/pulse/native"
    export CORVALTO_TEST_PULSE_PID="$pulse_pid"
    export XDG_RUNTIME_DIR="$run/pulse"
    i=0
    while ! xdpyinfo >/dev/null 2>&1 || [ ! -S "$run/pulse/native" ]; do
        i=$((i + 1))
        if [ $i -gt 100 ]; then echo "test services did not start" >&2; cat "$run"/*.log >&2; exit 1; fi
        sleep 0.1
    done
}

# The game for Windows: Qt for Windows (cached), the native build-time tools, the cross build,
# then the staged folder as a zip, as an installer and as an MSI package.
build_windows() {
    install_packages $build_packages $windows_packages
    CORVALTO_QT_WINDOWS=$(tools/windows/qt.sh | tail -n 1)
    export CORVALTO_QT_WINDOWS
    # The linker and strip write it into every program's and library's header, rather than
    # the time they ran.
    SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l debian/changelog -STimestamp)
    export SOURCE_DATE_EPOCH
    build host-tools
    build windows
    rm -rf build/windows/stage
    cmake --install build/windows --strip >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
    # The zip and the installer keep each file's time, the zip its mode too: every file gets
    # the time of the newest changelog entry (as in the Debian package) and the same mode
    # whatever the umask, so that the same sources give the same zip and installer.
    chmod -R u+rwX,go+rX,go-w build/windows/stage
    find build/windows/stage -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    rm -rf build/windows/zip "build/windows/Corvalto-$version-windows-x64.zip"
    mkdir -p build/windows/zip
    cp -R -p build/windows/stage "build/windows/zip/Corvalto-$version"
    # Sorted names, no owners or extra times (-X), times in UTC.
    (cd build/windows/zip && find "Corvalto-$version" | LC_ALL=C sort |
        TZ=UTC zip -q -X -@ "../Corvalto-$version-windows-x64.zip")
    makensis -V2 -DVERSION="$version" -DSTAGE="$here/build/windows/stage" \
        -DOUTFILE="$here/build/windows/corvalto-$version-setup.exe" packaging/windows/corvalto.nsi
    packaging/windows/build-msi.sh build/windows "$version" "build/windows/corvalto-$version-x64.msi" >/dev/null
    echo "build/windows/Corvalto-$version-windows-x64.zip"
    echo "build/windows/corvalto-$version-setup.exe"
    echo "build/windows/corvalto-$version-x64.msi"
}

# One build of the reproducibility check: an export of the commit in folder $1, built with umask
# $2, locale $3 and time zone $4; $5 is deb or windows.
reproducible_build() {
    (
        umask "$2"
        mkdir -p "$1"
        git archive --format=tar "$commit" | tar -x -C "$1"
        cd "$1"
        export LANG="$3" LC_ALL="$3" TZ="$4"
        case $5 in
        deb) sh packaging/build-deb.sh >build-deb.log 2>&1 ;;
        windows) sh tools/dev.sh windows >build-windows.log 2>&1 ;;
        esac
    ) || {
        tail -n 30 "$1"/build-*.log >&2
        echo "dev.sh: the build in $1 failed" >&2
        exit 1
    }
}

# Two builds of the commit checked out, the second some minutes after the first, in a deeper
# folder of another name, with another umask, locale (Italian, made in the output folder) and
# time zone; then every package, zip or installer of one against the other's, byte for byte.
reproducible() {
    what=${1:-all}
    install_packages $build_packages $deb_packages git diffoscope-minimal locales
    commit=$(git rev-parse HEAD)
    if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
        echo "dev.sh: uncommitted changes are left out; building $commit" >&2
    fi
    out="$here/build/reproducible"
    rm -rf "$out"
    mkdir -p "$out/locale"
    localedef -i it_IT -f UTF-8 "$out/locale/it_IT.UTF-8"
    first="$out/a/corvalto"
    second="$out/b/un/altro/percorso/corvalto-$commit"
    compared=""
    for kind in deb windows; do
        [ "$what" = all ] || [ "$what" = "$kind" ] || continue
        [ "$kind" = deb ] || install_packages $windows_packages
        reproducible_build "$first" 022 C.UTF-8 UTC "$kind"
        LOCPATH="$out/locale" reproducible_build "$second" 007 it_IT.UTF-8 Pacific/Auckland "$kind"
        case $kind in
        deb) compared="$compared $(cd "$first" && ls build/package/*.deb build/package/*.tar.xz build/package/*.dsc)" ;;
        windows) compared="$compared $(cd "$first" && ls build/windows/*.zip build/windows/*.exe)" ;;
        esac
    done
    status=0
    for file in $compared; do
        if cmp -s "$first/$file" "$second/$file"; then
            echo "identical: $(sha256sum <"$first/$file" | cut -c1-16)  ${file##*/}"
        else
            echo "DIFFERENT: ${file##*/} (diffoscope: $out/${file##*/}.diffoscope.txt)"
            diffoscope --text "$out/${file##*/}.diffoscope.txt" "$first/$file" "$second/$file" >/dev/null || true
            status=1
        fi
    done
    exit $status
}

# A test that can run only some of its checks here (those that need root, say) passes and says
# SKIPPED, or Qt Test's SKIP, for the others; ctest keeps that in its log. Shown at the end of
# the run, so that nobody takes a skipped check for a passed one.
show_skipped() {
    for preset in "$@"; do
        log="build/$preset/Testing/Temporary/LastTest.log"
        [ -f "$log" ] || continue
        awk -v preset="$preset" '
            /^[0-9]+\/[0-9]+ Test: / { name = $3 }
            /^SKIPPED|^SKIP   : / { print preset "/" name ": " $0 }' "$log"
    done
}

case "${1:-}" in
play)
    install_packages $build_packages
    build play
    make_record_folder
    exec build/play/app/corvalto
    ;;
test)
    install_packages $build_packages $test_packages
    build test
    build asan
    start_test_services
    status=0
    ctest --preset test -j "$jobs" || status=1
    ctest --preset asan -j "$jobs" -LE nosan || status=1
    show_skipped test asan
    exit $status
    ;;
bench)
    install_packages $build_packages $test_packages
    build test
    start_test_services
    bench/run.sh build/test
    ;;
fuzz)
    install_packages $fuzz_packages
    build fuzz
    runs=${2:-20000000}
    limit=""
    if [ -n "${3:-}" ]; then limit="-max_total_time=$3"; fi
    # One worker: the machine is shared. New inputs go to build/fuzz/corpus/<target>, a finding
    # to build/fuzz/crash-* (run the target on that file to see it again).
    status=0
    for target in request store; do
        mkdir -p "build/fuzz/corpus/$target"
        build/fuzz/tests/fuzz/fuzz_$target -runs="$runs" $limit -print_final_stats=1 \
            -artifact_prefix=build/fuzz/ "build/fuzz/corpus/$target" "tests/fuzz/seeds/$target" ||
            status=1
    done
    exit $status
    ;;
windows)
    build_windows
    ;;
reproducible)
    reproducible "${2:-all}"
    ;;
windows-test)
    install_packages $windows_test_packages
    build_windows
    start_test_services
    tests/windows/check-windows.sh build/windows
    ;;
windows-bench)
    install_packages $windows_test_packages $test_packages
    build_windows
    # The bare program for Windows, beside the staged game so that it loads the same Qt.
    cmake --preset windows -DCORVALTO_BENCH=ON >/dev/null
    cmake --build --preset windows -j "$jobs" --target corvalto_baseline
    cmake --preset windows -DCORVALTO_BENCH=OFF >/dev/null
    # The watch runs on the Linux side.
    cmake --preset test >/dev/null
    cmake --build --preset test -j "$jobs" --target corvalto_startwatch
    start_test_services
    bench/windows.sh build/windows/stage build/windows/corvalto_baseline.exe \
        build/test/bench/corvalto_startwatch
    ;;
*)
    echo "usage: tools/dev.sh play|test|bench|fuzz [runs [seconds]]|windows|windows-test|windows-bench|reproducible [deb|windows]" >&2
    exit 2
    ;;
esac
