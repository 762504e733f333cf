#!/bin/bash
# shellcheck disable=SC2119 # the helpers' arguments are optional
# What a screen reader finds on the board: the game under a private session bus with the
# accessibility bus and its registry running, as on a desktop with assistive technology
# turned on, read through AT-SPI by accessible_labels.py as a screen reader reads it. Every
# label of the window is static text named by its text, in its place; the score's frame
# tells its tool tip; the clock announces its next second; the buttons are as Qt makes them.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
sys_setup "$@"

readonly python=/usr/bin/python3 # Debian's, with its GObject bindings, whatever PATH says
launcher=/usr/libexec/at-spi-bus-launcher
registry=/usr/libexec/at-spi2-registryd
for tool in dbus-daemon dbus-send "$launcher" "$registry" "$python"; do
    command -v "$tool" >/dev/null ||
        fail "$tool is not installed (tools/dev.sh test installs the tools)"
done
"$python" -c "import gi; gi.require_version('Atspi', '2.0')" 2>/dev/null ||
    fail "no AT-SPI client library for $python (gir1.2-atspi-2.0, python3-gi)"

# ---- The accessibility services, stopped on exit ------------------------------------------

a11y_pids=()
# Sockets in a short path of their own: a socket's path has a length limit.
sockets=$(mktemp -d /tmp/corvalto-a11y.XXXXXX)

stop_accessibility() {
    local i pid
    # The registry and the bus launcher first (the launcher takes its bus with it), the
    # session bus last.
    for ((i = ${#a11y_pids[@]} - 1; i >= 0; i--)); do
        pid=${a11y_pids[i]}
        kill "$pid" 2>/dev/null || continue
        local deadline=$((SECONDS + 5))
        while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$sockets"
}
at_exit+=(stop_accessibility)

accessibility_bus_up() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1
}

# Ours must own the registry's name before any client asks: the bus would start another.
registry_up() {
    local address owned
    address=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress 2>/dev/null) || return 1
    owned=$(dbus-send --bus="${address//[[:space:]]/}" --print-reply=literal \
        --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.a11y.atspi.Registry 2>/dev/null) || return 1
    [[ $owned == *true* ]]
}

# A session bus that starts no service by itself: asked for the accessibility bus before the
# launcher below has taken its name, a standard one would start a launcher of its own, which
# would then race ours.
cat >"$sockets/session.conf" <<EOF
<busconfig>
  <type>session</type>
  <listen>unix:path=$sockets/session</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$sockets/session.conf" --nofork --nopidfile \
    >"$work/session-bus.log" 2>&1 &
a11y_pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$sockets/session"
within 10 "the session bus" test -S "$sockets/session"
# Without DISPLAY the launcher leaves the shared X server alone: the game and the client
# find the accessibility bus through the session bus, where --a11y=1 says it is wanted.
env -u DISPLAY XDG_RUNTIME_DIR="$sockets" "$launcher" --launch-immediately --a11y=1 \
    >"$work/bus-launcher.log" 2>&1 &
a11y_pids+=($!)
within 10 "the accessibility bus" accessibility_bus_up
env -u DISPLAY "$registry" >"$work/registry.log" 2>&1 &
a11y_pids+=($!)
within 10 "the AT-SPI registry" registry_up

# ---- The game --------------------------------------------------------------------------

empty_record_folder
printf '37' >"$record_dir/avelmora.txt"
printf 'Bea' >"$record_dir/velmora.txt"
start_game
greet_as Anna
wait_main_window
main=$found
geometry "$main"
client_x=$win_x
client_y=$((win_y + win_h - client_height))

timeout 60 "$python" "$(dirname "$0")/accessible_labels.py" "$game_pid" "$client_x" "$client_y" \
    Anna Bea 37 || fail "the accessible tree is not what a player sees (above)"

"$closewindow" "$main" || fail "could not send the close message to window $main"
wait_end_without_box "after the window was closed"
expect_status 0
expect_quiet_stderr
say "PASS"
