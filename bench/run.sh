#!/bin/sh
# Runs every benchmark of a build made with -DCORVALTO_BENCH=ON and prints the figures.
#
#   bench/run.sh <build-dir> [start-up runs per program, default 20]
#
# CORVALTO_BENCH_QUICK=1 runs a tenth of the handler runs: a check that all works.
#
# Wants an X server without a window manager in DISPLAY, started with -noreset (a server that
# resets when its last client leaves makes the next start pay for it); tools/dev.sh bench
# starts one, and so does this script when DISPLAY is unset. Sound goes to whatever server
# PULSE_SERVER names; with none the game stays silent, which changes nothing on screen.
# Measures only: nothing here fails because something is slow.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: bench/run.sh <build-dir> [start-up runs]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
runs=${2:-20}
bench="$build/bench"
game="$build/app/corvalto"

for f in "$bench/corvalto_bench_handlers" "$bench/corvalto_bench_gameend" \
    "$bench/corvalto_baseline" "$bench/corvalto_baseline_multimedia" "$bench/corvalto_startwatch" \
    "$game"; do
    if [ ! -x "$f" ]; then
        echo "missing $f: build the tree with -DCORVALTO_BENCH=ON first" >&2
        exit 1
    fi
done
command -v xdotool >/dev/null || { echo "xdotool is needed to answer the dialogs" >&2; exit 1; }

# The game opens its record files at start: only a build whose record folder lies inside its
# own tree may be started here, never one that would touch the machine's real record.
record=$(sed -n 's/^CORVALTO_RECORD_DIR:PATH=//p' "$build/CMakeCache.txt")
case "$record" in
"$build"/*) mkdir -p "$record" ;;
*)
    echo "the record folder of $build is $record, outside the build tree: configure with" >&2
    echo "-DCORVALTO_RECORD_DIR=$build/record to benchmark the start-up" >&2
    exit 1
    ;;
esac

# The start-ups are timed on copies without debugging information, as a package installs the
# programs: mapping a program reads its whole file here, and the game's 6 MiB of it would
# weigh on its starts from a cold cache. The game's copy stays beside its store and sounds.
game_started="$build/app/corvalto-stripped"
base_started="$bench/corvalto_baseline-stripped"
mm_started="$bench/corvalto_baseline_multimedia-stripped"
work=$(mktemp -d /tmp/corvalto-bench.XXXXXX)
xvfb_pid=""
cleanup() {
    rm -f "$game_started" "$base_started" "$mm_started"
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
objcopy --strip-debug "$game" "$game_started"
objcopy --strip-debug "$bench/corvalto_baseline" "$base_started"
objcopy --strip-debug "$bench/corvalto_baseline_multimedia" "$mm_started"

if [ -z "${DISPLAY:-}" ]; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    i=0
    while [ ! -s "$work/display" ]; do
        i=$((i + 1))
        if [ $i -gt 100 ]; then echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; fi
        sleep 0.1
    done
    DISPLAY=":$(cat "$work/display")"
    export DISPLAY
fi
# Qt's notice about a missing runtime folder would only add noise to the logs.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 0700 "$work/runtime"
    XDG_RUNTIME_DIR="$work/runtime"
    export XDG_RUNTIME_DIR
fi

echo "# Corvalto benchmarks"
echo
echo "- build: $build ($(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt"))"
echo "- machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
    "$(uname -sr), Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo '?')"
echo "- load average at start: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "- X server: $DISPLAY; sound server: ${PULSE_SERVER:-default (maybe none)}"
echo

handlers() {
    quick=""
    if [ "${CORVALTO_BENCH_QUICK:-0}" = 1 ]; then quick=--quick; fi
    if ! QT_QPA_PLATFORM=$1 "$bench/corvalto_bench_handlers" $quick 2>"$work/handlers.log"; then
        echo "corvalto_bench_handlers failed on $1:"
        tail -n 20 "$work/handlers.log"
    fi
    echo
}
echo "## Handlers, window shown offscreen (QT_QPA_PLATFORM=offscreen)"
echo
handlers offscreen
echo "## Handlers, window shown on the X server (QT_QPA_PLATFORM=xcb, $DISPLAY)"
echo
handlers xcb

# The store runs as its own program whatever the platform: offscreen is enough.
echo "## Game end to congratulation, the real store included (offscreen)"
echo
quick=""
if [ "${CORVALTO_BENCH_QUICK:-0}" = 1 ]; then quick=--quick; fi
if ! QT_QPA_PLATFORM=offscreen "$bench/corvalto_bench_gameend" $quick 2>"$work/gameend.log"; then
    echo "corvalto_bench_gameend failed:"
    tail -n 20 "$work/gameend.log"
fi
echo

# ---- Start-up: program and baseline side by side, alternating, in one run ----

unset QT_QPA_PLATFORM
log="$work/startup.log"
# One start of one arrangement; its line (ms, peak KiB, mappings) goes to $work/<name>.
start_one() {
    name=$1
    shift
    # A failed start keeps its place, so the rounds of program and baseline stay paired.
    if ! "$bench/corvalto_startwatch" --log "$log" --timeout 20 "$@" >>"$work/$name" 2>>"$log"; then
        echo "NA NA NA" >>"$work/$name"
    fi
}
# Starts with the page cache dropped (as root): every file the program reads comes from the disk.
if [ -w /proc/sys/vm/drop_caches ]; then cold=yes; else cold=""; fi
drop_cache() { sync && echo 3 >/proc/sys/vm/drop_caches; }
# game: the game to its name prompt; base: the baseline to its input box;
# game3/base3: to the main window, the prompt and the greeting answered by xdotool;
# window: the baseline's main window alone, for reference; base2: the baseline to its input box
# once more, to be compared with base as the game is: how far two starts of one program differ
# in this run.
arrangement() {
    case $1 in
    game) start_one game 1 "$game_started" ;;
    base) start_one base 1 "$base_started" ;;
    base2) start_one base2 1 "$base_started" ;;
    game3) start_one game3 --answer Anna 3 "$game_started" ;;
    base3) start_one base3 --answer Anna 3 "$base_started" ;;
    window) start_one window 1 "$base_started" --window ;;
    # The same as game and base, each after the page cache was dropped.
    gamec) drop_cache && start_one gamec 1 "$game_started" ;;
    basec) drop_cache && start_one basec 1 "$base_started" ;;
    basec2) drop_cache && start_one basec2 1 "$base_started" ;;
    # In play: the board clicked once the window maps, peak memory read 2 s later, once the
    # sound has played; against the baseline with Qt Multimedia, its boxes answered the same
    # way, its window clicked and playing the same file.
    play) start_one play --answer Anna --play 2 3 "$game_started" ;;
    mmplay) start_one mmplay --answer Anna --play 2 3 "$mm_started" \
        "$build/app/suoni/laser.wav" ;;
    # The same starts to the prompt with time marks inside (bench/marks.h), kept apart from
    # the timed runs above.
    gparts) start_parts gparts "$bench/corvalto_bench_startparts" ;;
    bparts) start_parts bparts "$bench/corvalto_baseline" ;;
    esac
}
start_parts() {
    name=$1
    shift
    if line=$(CORVALTO_BENCH_MARKS="$work/$name.marks" "$bench/corvalto_startwatch" \
        --log "$log" --timeout 20 --answer Anna 3 "$@" 2>>"$log"); then
        echo "${line##* }" | awk -F , '{ print "prompt-mapped", $1; print "greeting-mapped", $2; print "window-mapped", $3 }' >>"$work/$name.marks"
    fi
}
# Warm the file cache and the X server; these runs are not counted.
all="game base base2 game3 base3 window gparts bparts"
for a in $all $all; do arrangement $a; done
for a in $all; do rm -f "$work/$a" "$work/$a.marks"; done
coldpair=""
if [ -n "$cold" ]; then coldpair="gamec basec basec2"; fi
i=0
while [ $i -lt "$runs" ]; do
    # Whoever went first last time goes second now, so a drift in the machine's load
    # falls on both alike.
    if [ $((i % 2)) -eq 0 ]; then
        order="game base base2 game3 base3 window gparts bparts $coldpair"
    else
        order="base2 base game base3 game3 window bparts gparts $(echo "$coldpair" | awk '{ print $3, $2, $1 }')"
    fi
    # Memory in play, in the first rounds only: it hardly varies, and each start takes 2 s more.
    if [ $i -lt 5 ]; then order="$order play mmplay"; fi
    for a in $order; do arrangement $a; done
    i=$((i + 1))
done

# median p25 p75 min max count p10 of column $2 of file $1
stats() {
    if ! grep -q -v '^NA' "$1" 2>/dev/null; then
        echo "- - - - - 0 -"
        return
    fi
    grep -v '^NA' "$1" | cut -d ' ' -f "$2" | sort -n | awk '
        { v[NR] = $1 }
        function q(p,   r, lo) { r = p * (NR - 1) + 1; lo = int(r); return v[lo] + (r - lo) * (v[lo + (lo < NR)] - v[lo]) }
        END { printf "%.1f %.1f %.1f %.1f %.1f %d %.1f\n", q(0.5), q(0.25), q(0.75), v[1], v[NR], NR, q(0.1) }'
}
# Median over the runs of (program's time / baseline's time) in the same round.
paired_ratio() {
    paste -d ' ' "$work/$1" "$work/$2" 2>/dev/null | awk '$1 != "NA" && $4 != "NA" && $4 > 0 { print $1 / $4 }' \
        | sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "%.3f", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2); else printf "-" }'
}
row() {
    set -- "$1" "$2" $(stats "$work/$1" 1) $(stats "$work/$1" 2)
    failed=$(grep -c '^NA' "$work/$1" 2>/dev/null || true)
    mib=$(awk -v k="${10}" 'BEGIN { if (k == "-") print "-"; else printf "%.1f", k / 1024 }')
    echo "| $2 | $8 ($failed failed) | $3 | $4–$5 | $6–$7 | $mib |"
}
# Ratio of one statistic (field $3 of stats) of the program's times to the baseline's.
ratio() {
    awk -v a="$(stats "$work/$1" 1 | cut -d ' ' -f "$3")" -v b="$(stats "$work/$2" 1 | cut -d ' ' -f "$3")" \
        'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.3f", a / b }'
}

echo "## Start-up: process start to window mapped (X server $DISPLAY, no window manager)"
echo
echo "| program | runs | median ms | p25–p75 ms | min–max ms | peak RSS at mapping, median MiB |"
echo "|---|---:|---:|---:|---:|---:|"
row game "(a) corvalto, to its name prompt"
row base "(a) baseline, to the same input box"
row game3 "(b) corvalto, to its main window (prompt, greeting answered)"
row base3 "(b) baseline, to its main window (same boxes answered)"
row base2 "(a) baseline again, to the same input box"
row window "baseline, its main window alone (reference)"
if [ -n "$cold" ]; then
    row gamec "(a) corvalto, to its name prompt, page cache dropped"
    row basec "(a) baseline, to the same input box, page cache dropped"
    row basec2 "(a) baseline again, page cache dropped"
fi
row play "corvalto in play: board clicked, 2 s later (peak RSS then)"
row mmplay "baseline with Qt Multimedia in play: window clicked, 2 s later"
echo
if [ -z "$cold" ]; then
    echo "The page cache could not be dropped (not root): no starts from a cold cache."
    echo
fi
# Other work on a shared machine only ever adds time: the 10th percentiles are the starts
# least disturbed by it.
echo "| comparison | ratio of medians | median of paired ratios | ratio of 10th percentiles | target |"
echo "|---|---:|---:|---:|---|"
echo "| (a) name prompt, corvalto / baseline | $(ratio game base 1) | $(paired_ratio game base) | $(ratio game base 7) | ≤ 1.02 |"
if [ -n "$cold" ]; then
    echo "| (a) name prompt, page cache dropped | $(ratio gamec basec 1) | $(paired_ratio gamec basec) | $(ratio gamec basec 7) | ≤ 1.02 |"
fi
echo "| (b) main window, corvalto / baseline | $(ratio game3 base3 1) | $(paired_ratio game3 base3) | $(ratio game3 base3 7) | ≤ 1.05 |"
# The same program compared with itself: what this run's figures cannot tell apart.
echo "| (a) baseline again / baseline: this run's noise | $(ratio base2 base 1) | $(paired_ratio base2 base) | $(ratio base2 base 7) | - |"
if [ -n "$cold" ]; then
    echo "| (a) the same, page cache dropped | $(ratio basec2 basec 1) | $(paired_ratio basec2 basec) | $(ratio basec2 basec 7) | - |"
fi
echo
peak=$(stats "$work/play" 2 | cut -d ' ' -f 1)
mmpeak=$(stats "$work/mmplay" 2 | cut -d ' ' -f 1)
awk -v a="$peak" -v b="$mmpeak" 'BEGIN { if (a == "-" || b == "-") print "Peak RSS in play: not measured."; else printf "Peak RSS in play: corvalto %.1f MiB, baseline with Qt Multimedia %.1f MiB: %+.1f MiB (target ≤ +2 MiB).\n", a / 1024, b / 1024, (a - b) / 1024 }'
echo
echo "Mappings in (b), median ms after process start (prompt, greeting, window):"
for name in game3 base3; do
    if [ -s "$work/$name" ]; then
        printf -- "- %s: " "$name"
        for k in 1 2 3; do
            cut -d ' ' -f 3 "$work/$name" | cut -d , -f $k >"$work/col"
            printf "%s " "$(stats "$work/col" 1 | cut -d ' ' -f 1)"
        done
        echo
    fi
done
echo
echo "Where the time goes: time marks inside the programs (bench/marks.h), ms after process"
echo "start, medians of $runs starts of each as in (b), run apart from the timed starts above"
echo "(corvalto_bench_startparts repeats app/main.cpp's steps with a mark after each; the"
echo "baseline builds its window after the greeting, the game while its prompt waits):"
echo
echo "| step | corvalto | baseline |"
echo "|---|---:|---:|"
for step in main qapplication translations audioplayer prompt-asked prompt-mapped window-built \
    prompt-answered greeting-asked greeting-mapped greeting-answered initialized window-mapped; do
    for name in gparts bparts; do
        awk -v s="$step" '$1 == s { print $2 }' "$work/$name.marks" 2>/dev/null >"$work/col" || true
        eval "m_$name=\$(stats \"\$work/col\" 1 | cut -d ' ' -f 1)"
    done
    echo "| $step | $m_gparts | $m_bparts |"
done
echo
echo "- load average at end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
