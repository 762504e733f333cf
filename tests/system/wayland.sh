#!/bin/bash
# shellcheck disable=SC2119 # the helpers' arguments are optional
# The platform the game runs on, and the game as a native Wayland client under weston
# (nested in the X server in DISPLAY through its X11 backend). Where an X server is
# reachable the game is an X11 client even when WAYLAND_DISPLAY is set, unless the player's
# QT_QPA_PLATFORM says otherwise; where none is, it plays on Wayland, from the name prompt to
# the goodbye, with its own title bars: Qt's, whose maximise button breaks the game, is never
# even loaded.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
sys_setup "$@"

command -v weston >/dev/null || skip "weston is not installed (tools/dev.sh test installs it)"
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null ||
    skip "Qt's Wayland platform plugin is not installed (package qt6-wayland)"

# The socket in a short path of its own: a socket's path has a length limit, and the work
# folder lies wherever the clone does.
XDG_RUNTIME_DIR=$(mktemp -d /tmp/corvalto-wayland.XXXXXX)
export XDG_RUNTIME_DIR
socket=corvalto-test
weston --backend=x11-backend.so --use-pixman --socket="$socket" --width=800 --height=800 \
    --idle-time=0 >"$work/weston.log" 2>&1 &
weston_pid=$!
stop_weston() {
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
    rm -rf "$XDG_RUNTIME_DIR"
}
at_exit+=(stop_weston)
within 20 "weston's socket" test -S "$XDG_RUNTIME_DIR/$socket"
export WAYLAND_DISPLAY=$socket
unset QT_QPA_PLATFORM

# loaded <library>: whether the running game has this Qt plugin mapped.
loaded() { grep -q "/$1\$" "/proc/$game_pid/maps"; }
expect_platform() {
    within 20 "the $1 platform plugin" loaded "$1"
    ! loaded "$2" || fail "run $game_run loaded both $1 and $2"
}

say "X server and Wayland both reachable: the game is an X11 client"
empty_record_folder
start_game
expect_platform libqxcb.so libqwayland-generic.so
stop_game

say "the player's QT_QPA_PLATFORM wins"
QT_QPA_PLATFORM=wayland start_game
expect_platform libqwayland-generic.so libqxcb.so
stop_game

say "no X server for the game: a native Wayland client"
weston_x11_window() {
    seen=$(xwininfo -root -children | awk '/ "Weston Compositor/ { print $1 }')
    [[ -n $seen && $(wc -l <<<"$seen") -eq 1 ]]
}
within 20 "weston's window on the X server" weston_x11_window
weston_window=$seen
# Keys reach weston through its window on the X server, focused once: weston takes every
# change of the X focus for the player's leaving and coming back, which can cost the game's
# window its keyboard.
focus "$weston_window"
display=$DISPLAY
unset DISPLAY
WAYLAND_DEBUG=client start_game
export DISPLAY=$display
expect_platform libqwayland-generic.so libqxcb.so

# The protocol log on stderr tells when a window of the game is up and has the keyboard:
# wait_toplevel <n> waits for the n-th window and the keyboard's entering its surface.
wait_toplevel() {
    within 20 "window $1 of the game with the keyboard" has_keyboard "$1"
    ! loaded libbradient.so || fail "Qt's own title bar, with its maximise button, came with window $1"
}
has_keyboard() {
    awk -v n="$1" '
        /get_xdg_surface\(/ && ++count == n { surface = $NF; sub(/\)$/, "", surface); next }
        surface && /wl_keyboard@[0-9]+\.enter\(/ && index($0, " " surface ",") { found = 1 }
        END { exit !found }' "$game_err"
}
keys() { LC_ALL=C.UTF-8 xdotool "$@"; }

wait_toplevel 1 # the name prompt
keys type --delay 60 Onda
keys key Return
wait_toplevel 2 # the greeting
keys key Return
wait_toplevel 3 # the main window
keys key alt+x
wait_toplevel 4 # the goodbye
keys key Return
wait_game_end
expect_status 0
# Every line on stderr is the protocol log's: Qt warned of nothing.
if grep -v '^\[' "$game_err" >&2; then fail "the game printed on stderr"; fi
grep -q "^\[[0-9. ]*\] *-> xdg_toplevel@[0-9]*\.set_maximized" "$game_err" &&
    fail "the game asked to be maximised"
say "PASS"
