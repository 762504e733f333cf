#!/bin/bash
# shellcheck disable=SC2119 # the helpers' arguments are optional
# "Nuovo gioco" from the window's own menu bar. Enter alone at its question answers No: the
# window stays and no name is asked. Yes unloads the window (it goes for good), asks the
# name again and shows a fresh window of the same size; twice in a row, then the game ends
# normally from the last window with Exit. Under the sanitizers this is the run that
# exercises destroying the window from inside its own handler.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
sys_setup "$@"

# answer_name <name>: the name prompt and the greeting that follows; sets main to the
# window that maps afterwards, other than the given one.
answer_name() {
    greet_as "$1"
    wait_main_window "${2:-}"
    main=$found
}

# new_game_box: clicks the "Nuovo gioco" title, the third of the menu bar, and waits for
# the question; sets box.
new_game_box() {
    click_menu_title "$main" "$bar" 3
    wait_dialog "INIZIARE NUOVA GARA"
    box=$found
}

empty_record_folder
start_game
answer_name Uno
geometry "$main"
first_size="${win_w}x${win_h}"
bar=$((win_h - client_height))

# Enter: the default button, No.
new_game_box
press "$box" Return
wait_gone "$box"
# Nothing follows a No; give a wrong Yes a moment to show itself.
deadline=$((SECONDS + 2))
while ((SECONDS < deadline)); do
    ! any_dialog || fail "a box came up after answering No to a new game"
    viewable "$main" || fail "the window went away after answering No to a new game"
    sleep 0.1
done
say "No: the window stays"

for name in Due Tre; do
    new_game_box
    # Yes is the button before the focused default (No), whatever its translated caption.
    press "$box" shift+Tab space
    old=$main
    answer_name "$name" "$old"
    within 10 "the old window $old to be destroyed" destroyed "$old"
    geometry "$main"
    [[ ${win_w}x${win_h} == "$first_size" ]] ||
        fail "the new window is ${win_w}x${win_h}, the first one was $first_size"
    say "Yes: a new window $main for $name"
done

press "$main" alt+x
wait_dialog Corvalto
press "$found" Return
wait_game_end
expect_status 0
expect_quiet_stderr
say "PASS"
