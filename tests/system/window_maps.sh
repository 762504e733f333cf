#!/bin/bash
# shellcheck disable=SC2119 # the helpers' arguments are optional
# The window a player gets: after the name prompt and the greeting, the main window
# "Corvalto" maps with a 608 x 672 client area below its menu bar, painted with colour
# bands from top to bottom. Closing it as the window manager's close box does ends the
# program at once with status 0, without any box and without a word on stderr. The empty
# record folder has gained the two record files, empty.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
sys_setup "$@"

empty_record_folder
start_game
greet_as Finestra
wait_main_window
main=$found

geometry "$main"
say "main window $main: ${win_w}x${win_h} at ${win_x},${win_y}"
((win_w == client_width)) || fail "the window is $win_w pixels wide, not $client_width"
bar=$((win_h - client_height))
# What is left above a 672-row client area must be a plausible menu bar: one line of text.
((bar >= 12 && bar <= 60)) ||
    fail "the window is $win_h pixels high: $bar rows above a $client_height-row client area is no menu bar"

# Four titles: the two menus of the example address and of the makers, "Nuovo gioco", Help.
four_titles() {
    menu_titles "$main" "$bar"
    seen="${#titles[@]} titles"
    ((${#titles[@]} == 4))
}
within 10 "the four titles of the menu bar" four_titles

# The bands: red and green are 20 times a factor (red 1..9, green 0..9), blue runs from 0 at
# the top to 255 at the bottom. The top rows of the client area are covered by the two
# buttons and a label down to row 49; row 50 is the first one the board shows across.
# Each sampled row must be one colour across the whole width.
band_row() {
    local shot=$1 y=$2 x colour
    row_colour=""
    for x in 2 $((win_w / 2)) $((win_w - 3)); do
        colour=$(pixel "$shot" "$x" "$y")
        if [[ -n $row_colour && $colour != "$row_colour" ]]; then
            seen="row $y is not one colour: '$row_colour', then '$colour' at x $x"
            return 1
        fi
        row_colour=$colour
    done
}

gradient_painted() {
    local shot="$work/window.rgb" r g b r2 g2 b2
    grab "$main" "$shot"
    band_row "$shot" $((bar + 50 * win_w / client_width)) || return 1
    read -r r g b <<<"$row_colour"
    band_row "$shot" $((win_h - 1)) || return 1
    read -r r2 g2 b2 <<<"$row_colour"
    seen="top row $r $g $b, bottom row $r2 $g2 $b2"
    ((r % 20 == 0 && r >= 20 && r <= 180)) || return 1
    ((g % 20 == 0 && g <= 180)) || return 1
    ((r2 == r && g2 == g)) || return 1
    ((b <= 25 && b2 >= 250))
}

# The targets are the only cyan on the board.
targets_shown() {
    grab "$main" "$work/window.rgb"
    [[ $(od -An -v -tu1 -w3 "$work/window.rgb" | grep -Ecx ' +0 +255 +255') -gt 0 ]]
}

if [[ $(xwininfo -root) =~ Depth:\ *24$'\n' ]]; then
    within 10 "the colour bands on the client area" gradient_painted
    say "colour bands: $seen"
else
    say "the X screen is not 24 bits deep: colours are not exact, the bands are not checked"
fi

"$closewindow" "$main" || fail "could not send the close message to window $main"

# Nothing may come up on the way out: no goodbye, no record box.
wait_end_without_box "after the window was closed"
expect_status 0
expect_quiet_stderr

# The record folder was empty: the store made both files at start, empty, readable by every
# account of the machine (all of them share the record) and written by the store alone, and
# the lock file, which no one outside the store's group may open (whoever opens it can hold it).
for file in avelmora.txt:664 velmora.txt:664 velmora.lock:660; do
    name=${file%:*} mode=${file#*:}
    [[ -f $record_dir/$name && ! -L $record_dir/$name ]] || fail "the game did not create $name"
    [[ $(stat -c '%s %a' "$record_dir/$name") == "0 $mode" ]] ||
        fail "$name was created with size and mode $(stat -c '%s %a' "$record_dir/$name"), not 0 and $mode"
done

# The whole board on a laptop's work area, framed by a window manager, at the desktop's scale:
# 1080 rows less a 48-row task bar at 150 %, where the window is drawn smaller, and 768 less 48
# at 100 %, where it is drawn as above. Frame and board lie on the screen; a click where the
# lowest target would stand starts the play.
screen_pids=()
stop_screen() {
    local pid
    for pid in "${screen_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    screen_pids=()
}
at_exit+=(stop_screen)
wm_running() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *"window id"* ]]; }
framed() { [[ $(xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null) == *=* ]]; }
command -v openbox >/dev/null || fail "openbox is not installed (tools/dev.sh test installs it)"
full_w=$win_w full_h=$win_h
for screen in 1920x1008:1.5 1366x720:1; do
    size=${screen%:*} scale=${screen#*:}
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    screen_pids=($!)
    within 10 "an X server of $size" test -s "$work/display"
    DISPLAY=":$(cat "$work/display")"
    export DISPLAY
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    screen_pids+=($!)
    within 10 "openbox on $size" wm_running
    QT_SCREEN_SCALE_FACTORS=$scale start_game
    greet_as Schermo
    wait_main_window
    main=$found
    # The frame as the window manager tells it: left, right, top, bottom.
    within 10 "the frame of the window" framed
    IFS=' ,' read -r left right top bottom <<<"$(xprop -id "$main" _NET_FRAME_EXTENTS | sed 's/.*= //')"
    geometry "$main"
    say "on $size at scale $scale: ${win_w}x${win_h} at ${win_x},${win_y}, frame $left $right $top $bottom"
    ((win_x - left >= 0 && win_y - top >= 0 && win_x + win_w + right <= ${size%x*} &&
        win_y + win_h + bottom <= ${size#*x})) || fail "the window's frame is not within the $size screen"
    if [[ $scale == 1 ]]; then
        ((win_w == full_w && win_h == full_h)) || fail "the window is ${win_w}x$win_h, not ${full_w}x$full_h as before"
    else
        ((win_w < full_w * 3 / 2)) || fail "the window is not drawn smaller"
        bar=$((win_h - client_height * win_w / client_width))
        within 10 "the colour bands down to the board's bottom row" gradient_painted
    fi
    # A target is 81 of the board's 608 columns wide, and as high.
    click "$main" $((win_w / 2)) $((win_h - 81 * win_w / 608 / 2))
    within 10 "targets after the click where the lowest target would stand" targets_shown
    "$closewindow" "$main" || fail "could not send the close message to window $main"
    wait_game_end
    expect_quiet_stderr
    stop_screen
done
say "PASS"
