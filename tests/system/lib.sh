# shellcheck shell=bash disable=SC2034,SC2119 # variables set here are read by the scripts
# Helpers shared by the system tests, sourced by each script. A script is run by ctest as
#   bash <script> <program> <record-folder> <work-folder> <build-folder> <closewindow>
# and drives the real program on the X server in DISPLAY with xdotool, as a player would:
# the keyboard and the mouse only, and what the screen shows.
#
# Every wait polls with a deadline (within) and fails with what it was waiting for. On
# failure the EXIT trap kills the game, and leaves a screenshot and the window tree in the
# work folder.

readonly skip_status=77
# Matches exitcode= of ASAN_OPTIONS and UBSAN_OPTIONS set by CMakeLists.txt.
readonly sanitizer_status=86
# The client area of the window: 9120 x 10080 twips at 15 twips a pixel.
readonly client_width=608
readonly client_height=672

program="" record_dir="" work="" closewindow=""
greeting="" game_pid="" game_status="" game_run=0 game_err="" found="" seen=""
# Commands the EXIT trap runs once the game is stopped: services a script started for itself.
at_exit=()

say() { printf '%s\n' "$*"; }

fail() {
    printf 'FAIL: %s\n' "$*" >&2
    exit 1
}

skip() {
    printf 'SKIP: %s\n' "$*"
    exit "$skip_status"
}

# Checks the arguments and the tools, empties the work folder and sets the EXIT trap.
# Refuses a record folder outside the build tree: the tests empty it.
sys_setup() {
    [[ $# -eq 5 ]] || fail "usage: <script> <program> <record-folder> <work-folder> <build-folder> <closewindow>"
    program=$1 record_dir=$2 work=$3
    local build=$4
    closewindow=$5
    [[ -n ${DISPLAY:-} ]] || skip "no X server: DISPLAY is not set (tools/dev.sh test starts one)"
    case "$record_dir/" in
    "$build"/?*) ;;
    *) skip "the record folder $record_dir is not inside the build tree $build; these tests empty it, so they only run on a build whose record folder is its own (presets test and asan)" ;;
    esac
    [[ ! -e $record_dir/CMakeFiles && ! -e $record_dir/cmake_install.cmake ]] ||
        fail "the record folder $record_dir holds build files: it must be a folder of its own"
    local tool
    for tool in xdotool xwininfo xprop import convert od timeout; do
        command -v "$tool" >/dev/null || fail "$tool is not installed (tools/dev.sh test installs the tools)"
    done
    [[ -x $program ]] || fail "no program at $program"
    xwininfo -root >/dev/null 2>&1 || fail "cannot reach the X server in DISPLAY=$DISPLAY"
    rm -rf "$work"
    mkdir -p "$work"
    # Every desktop session has one; without it Qt warns on stderr, which the tests forbid.
    if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
        export XDG_RUNTIME_DIR="$work/runtime"
        mkdir -m 0700 "$XDG_RUNTIME_DIR"
    fi
    trap on_exit EXIT
    # ctest's timeout and ^C: still kill the game and leave the failure picture.
    trap 'exit 143' TERM
    trap 'exit 130' INT
}

on_exit() {
    local status=$?
    if [[ $status -ne 0 && $status -ne $skip_status ]]; then
        # Before killing the game: the picture of the moment it failed.
        xwininfo -root -tree >"$work/failure-windows.txt" 2>&1 || true
        import -silent -window root "$work/failure.png" 2>/dev/null || true
        say "failure left: $work/failure.png, $work/failure-windows.txt" >&2
        if [[ -n $game_err && -s $game_err ]]; then
            say "--- the game's stderr ($game_err):" >&2
            tail -n 40 "$game_err" >&2
        fi
    fi
    stop_game
    local command
    for command in "${at_exit[@]}"; do eval "$command" || true; done
    exit "$status"
}

# ---- Waiting -----------------------------------------------------------------------------

# within <seconds> <what> <command...>: runs the command every 0.1 s until it succeeds;
# fails the test naming <what> once the deadline has passed, with what the command last left
# in `seen`, if anything. Stops early when the game ends, unless the command is one of the
# game_ended checks.
within() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    seen=""
    until "$@"; do
        if [[ -n $game_pid && $1 != game_ended* ]] && ! game_running; then
            collect_status
            fail "the game ended ($(describe_status)) while waiting for $what"
        fi
        ((SECONDS < deadline)) || fail "nothing after ${seconds} s waiting for $what${seen:+ (last seen: $seen)}"
        sleep 0.1
    done
}

# ---- The game process -----------------------------------------------------------------------

# Empties the record folder (only what is inside it), creating it if missing.
empty_record_folder() {
    mkdir -p "$record_dir"
    find "$record_dir" -mindepth 1 -maxdepth 1 -exec rm -rf -- {} +
}

start_game() {
    game_run=$((game_run + 1))
    game_err="$work/run$game_run.stderr"
    "$program" >"$work/run$game_run.stdout" 2>"$game_err" &
    game_pid=$!
    game_status=""
    say "run $game_run: started the game, pid $game_pid"
}

# Running, and not a zombie waiting for us to collect its status.
game_running() {
    local stat
    read -r stat 2>/dev/null <"/proc/$game_pid/stat" || return 1
    stat=${stat##*) }
    [[ ${stat%% *} != Z ]]
}

game_ended() { ! game_running; }

collect_status() {
    [[ -z $game_status ]] || return 0
    game_status=0
    wait "$game_pid" 2>/dev/null || game_status=$?
}

wait_game_end() {
    within 20 "the game to end" game_ended
    collect_status
    game_pid=""
}

# wait_end_without_box <when> [except-box]: the game ends by itself, and no box comes up
# meanwhile other than the given one, on its way out. <when> completes the messages.
wait_end_without_box() {
    within 20 "the game to end $1" game_ended_without_box "$1" "${2:-}"
    collect_status
    game_pid=""
}

game_ended_without_box() {
    ! any_dialog "$2" || fail "a box came up $1"
    game_ended
}

stop_game() {
    [[ -n $game_pid ]] || return 0
    if game_running; then
        kill "$game_pid" 2>/dev/null || true
        local deadline=$((SECONDS + 5))
        while game_running && ((SECONDS < deadline)); do sleep 0.1; done
        game_running && kill -KILL "$game_pid" 2>/dev/null
    fi
    wait "$game_pid" 2>/dev/null || true
    game_pid=""
}

describe_status() {
    if [[ $game_status -eq $sanitizer_status ]]; then
        say "status $game_status: a sanitizer reported an error, see $game_err"
    else
        say "status $game_status"
    fi
}

# expect_status <n>: the status the game ended with.
expect_status() {
    [[ $game_status -eq $1 ]] || fail "the game ended with $(describe_status), expected status $1"
}

# The player sees no console, but anything the program prints is a fault or a warning
# someone should read: the game's stderr must be empty.
expect_quiet_stderr() {
    if [[ -s $game_err ]]; then
        say "--- stderr of run $game_run:" >&2
        cat "$game_err" >&2
        fail "the game printed on stderr (run $game_run)"
    fi
}

# show_bytes <file>: its bytes, for a message.
show_bytes() { od -An -c "$1" | tr -s ' \n' '  '; }

# ---- Windows -------------------------------------------------------------------------------

# window_type <window>: NORMAL, DIALOG... from _NET_WM_WINDOW_TYPE (its first value).
window_type() {
    local type
    type=$(xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null) || return 0
    type=${type#*= _NET_WM_WINDOW_TYPE_}
    say "${type%%,*}"
}

# Visible top-level windows of the game with exactly this title and this
# _NET_WM_WINDOW_TYPE (NORMAL for the main window, DIALOG for boxes), one id a line.
game_windows() {
    local title=$1 type=$2 w
    for w in $(xdotool search --all --pid "$game_pid" --onlyvisible --name "^${title}\$" 2>/dev/null); do
        [[ $(window_type "$w") != "$type" ]] || say "$w"
    done
}

# any_dialog [except-box]: whether any box of the game is on the screen, whatever its
# title, other than the given one (which may be on its way out).
any_dialog() {
    local w
    for w in $(xdotool search --all --pid "$game_pid" --onlyvisible --name '.' 2>/dev/null); do
        [[ $w != "${1:-}" ]] || continue
        [[ $(window_type "$w") == DIALOG ]] && return 0
    done
    return 1
}

# find_window <title> <type> [not-this-id]: sets found to the one such window other than
# the given one; fails while there is none (or more than one).
find_window() {
    local ids
    ids=$(game_windows "$1" "$2" | grep -vx "${3:-none}" || true)
    [[ -n $ids && $(wc -l <<<"$ids") -eq 1 ]] || return 1
    found=$ids
}

# wait_dialog <title> [previous-box]: sets found to the box with this title once it is on the
# screen; the previous box of the same title may still be going away.
wait_dialog() {
    within 20 "a box titled '$1'" find_window "$1" DIALOG "${2:-}"
}

# greet_as <name>: types the name at the prompt and accepts the greeting that follows; sets
# greeting to the greeting box.
greet_as() {
    local prompt
    wait_dialog Corvalto
    prompt=$found
    type_text "$prompt" "$1"
    press "$prompt" Return
    wait_dialog Corvalto "$prompt"
    greeting=$found
    press "$greeting" Return
}

# wait_main_window [previous-window]: sets found to the game's main window once it is mapped.
wait_main_window() {
    within 20 "the main window 'Corvalto'" find_window Corvalto NORMAL "${1:-}"
}

viewable() { [[ $(xwininfo -id "$1" 2>/dev/null) == *"Map State: IsViewable"* ]]; }
not_viewable() { ! viewable "$1"; }
destroyed() { ! xwininfo -id "$1" >/dev/null 2>&1; }

wait_gone() { within 10 "window $1 to go away" not_viewable "$1"; }

# geometry <window>: sets win_x win_y (on the screen) and win_w win_h.
geometry() {
    local info
    info=$(xwininfo -id "$1") || fail "no window $1"
    win_x=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
    win_y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    win_w=$(sed -n 's/^ *Width: *//p' <<<"$info")
    win_h=$(sed -n 's/^ *Height: *//p' <<<"$info")
}

# ---- Keyboard and mouse ---------------------------------------------------------------------

# Gives the window the keyboard focus, as a window manager does for the window a player
# clicks: the tests need none running.
focus() {
    timeout 10 xdotool windowfocus --sync "$1" || fail "window $1 did not take the keyboard focus"
}

# press <window> <key...>: keys as xdotool names them (Return, alt+x, Tab, space).
press() {
    local w=$1
    shift
    focus "$w"
    xdotool key --delay 60 "$@"
}

# type_text <window> <text>
type_text() {
    focus "$1"
    # xdotool reads the text in the locale's encoding; a bare CI shell has none but C.
    LC_ALL=C.UTF-8 xdotool type --delay 60 -- "$2"
}

# click <window> <x> <y>: a left click at a point of the window, in its own pixels, once
# the pointer is seen there. (xdotool's own --sync waits for a move, even to where the
# pointer already is.)
click() {
    geometry "$1"
    local x=$((win_x + $2)) y=$((win_y + $3))
    xdotool mousemove "$x" "$y"
    within 10 "the pointer at $x,$y" pointer_at "$x" "$y"
    xdotool click 1
}

pointer_at() {
    local X Y SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell)"
    seen="pointer at $X,$Y"
    [[ $X -eq $1 && $Y -eq $2 ]]
}

# ---- The screen ----------------------------------------------------------------------------

# grab <window> <file>: what the screen shows where the window lies (a box over it
# included), as raw 8-bit RGB rows; sets win_x win_y win_w win_h.
grab() {
    geometry "$1"
    import -silent -window root -crop "${win_w}x${win_h}+${win_x}+${win_y}" -depth 8 "rgb:$2" ||
        fail "could not take a screenshot"
}

# pixel <grab> <x> <y>: "r g b" of one pixel of a grab (window pixels), 0..255.
pixel() {
    od -An -v -tu1 -j $((($3 * win_w + $2) * 3)) -N 3 "$1" | xargs
}

# menu_titles <window> <menu-bar-height>: finds the titles of the menu bar on the screen, as
# runs of columns with ink (the words of one title lie closer together than two titles do);
# sets titles to their middles, in window pixels from the left, and title_y to the middle
# of the bar.
menu_titles() {
    local w=$1 bar=$2 shot="$work/menubar.rgb"
    grab "$w" "$shot"
    # shellcheck disable=SC2207 # numbers only
    titles=($(head -c $((win_w * (bar - 2) * 3)) "$shot" | od -An -v -tu1 -w3 |
        awk -v w="$win_w" '
            # the darkest channel of each pixel, the darkest pixel of each column
            { v = $1; if ($2 < v) v = $2; if ($3 < v) v = $3
              x = (NR - 1) % w
              if (!(x in col) || v < col[x]) col[x] = v
              if (v > bg) bg = v }
            END {
                gap = 99; t = 0
                for (x = 0; x < w; x++) {
                    if (col[x] < bg - 60) {
                        if (gap >= 9) { t++; first[t] = x }
                        last[t] = x; gap = 0
                    } else gap++
                }
                for (i = 1; i <= t; i++) print int((first[i] + last[i]) / 2)
            }'))
    title_y=$((bar / 2))
}

# click_menu_title <window> <menu-bar-height> <n>: clicks the n-th title, counting from 1.
click_menu_title() {
    menu_titles "$1" "$2"
    ((${#titles[@]} >= $3)) || fail "the menu bar of window $1 shows ${#titles[@]} titles, not $3 or more"
    click "$1" "${titles[$3 - 1]}" "$title_y"
}
