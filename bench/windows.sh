#!/bin/sh
# The game's start under Wine against a bare Qt program for Windows, to the name prompt, warm:
#   bench/windows.sh <stage-dir> <corvalto_baseline.exe> <corvalto_startwatch> [rounds, default 20]
# One Wine prefix (made here, kept running) and the X server in DISPLAY, without a window
# manager; the two programs start alternately from the staged folder, with the same Qt
# libraries. Wine's absolute times say nothing about Windows: only the ratio counts.
# Measures only: nothing here fails because something is slow.
set -eu

if [ $# -lt 3 ]; then
    echo "usage: bench/windows.sh <stage-dir> <corvalto_baseline.exe> <corvalto_startwatch> [rounds]" >&2
    exit 2
fi
stage=$(cd "$1" && pwd)
rounds=${4:-20}
watch=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
[ -n "${DISPLAY:-}" ] || { echo "needs an X server in DISPLAY" >&2; exit 1; }
for f in "$stage/corvalto.exe" "$2" "$watch"; do
    [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/corvalto-winebench.XXXXXX")
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Beside the game, so that both find the same Qt libraries, plugins and qt.conf.
cp "$2" "$stage/corvalto_baseline.exe"
trap 'rm -f "$stage/corvalto_baseline.exe"; cleanup' EXIT INT TERM

wineboot -i >/dev/null 2>&1
# The server then stays between the starts, as it does on a desktop session; a second one cannot
# start beside the one the prefix's making left.
wineserver -w
wineserver -p
log="$work/startup.log"
# The watch starts programs by their path.
wine=$(command -v wine)
start() {
    # A failed start keeps its place, so that the rounds stay paired.
    if ! "$watch" --title Corvalto --log "$log" --timeout 60 1 "$wine" "$stage/$2" >>"$work/$1" \
        2>>"$log"; then
        echo "NA NA NA" >>"$work/$1"
    fi
    # The watch ends the process it started; the Windows program itself may be another, which
    # Wine names after its file (cut, as the kernel keeps 15 characters of a name).
    name=$(printf '%.15s' "$2")
    pkill -KILL -x "$name" 2>/dev/null || true
    while pgrep -x "$name" >/dev/null; do sleep 0.05; done
}
# Warm-up: Wine's own files, the prefix and the programs' libraries into the cache.
for i in 1 2 3; do start game corvalto.exe; start base corvalto_baseline.exe; done
rm -f "$work/game" "$work/base"
i=0
while [ $i -lt "$rounds" ]; do
    if [ $((i % 2)) -eq 0 ]; then
        start game corvalto.exe
        start base corvalto_baseline.exe
    else
        start base corvalto_baseline.exe
        start game corvalto.exe
    fi
    i=$((i + 1))
done

median() {
    grep -v '^NA' "$1" | cut -d ' ' -f 1 | sort -n |
        awk '{ v[NR] = $1 } END { if (NR) printf "%.1f %d", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), NR; else printf "- 0" }'
}
set -- $(median "$work/game")
game_ms=$1 game_n=$2
set -- $(median "$work/base")
base_ms=$1 base_n=$2
paired=$(paste -d ' ' "$work/game" "$work/base" | awk '$1 != "NA" && $4 != "NA" && $4 > 0 { print $1 / $4 }' |
    sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "%.3f", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2); else printf "-" }')
echo "# Under Wine: process start to the name prompt mapped, warm ($rounds rounds)"
echo
echo "- Wine: $(wine --version 2>/dev/null); load average: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "- installed size of the staged folder: $(du -sk "$stage" | cut -f 1) KiB (translations: $(du -sk "$stage/translations" 2>/dev/null | cut -f 1) KiB)"
echo
echo "| program | starts | median ms |"
echo "|---|---:|---:|"
echo "| corvalto.exe, to its name prompt | $game_n | $game_ms |"
echo "| bare Qt program, to the same input box | $base_n | $base_ms |"
echo
awk -v a="$game_ms" -v b="$base_ms" -v p="$paired" 'BEGIN {
    if (a == "-" || b == "-") print "No ratio: starts failed (see the log below).";
    else printf "Ratio of medians %.3f, median of paired ratios %s (target <= 1.05).\n", a / b, p }'
if grep -q . "$log" 2>/dev/null; then
    echo
    echo "Last lines of the log:"
    tail -n 5 "$log"
fi
