#!/bin/bash
# shellcheck disable=SC2119 # the helpers' arguments are optional
# A whole game, played as a person would, that beats the stored record: name with an
# accented letter, greeting, a click on "Clicca per iniziare" to start the targets, Exit
# with Alt+X, the goodbye, the congratulation. The record files then hold exactly the score
# label's text and the name, each ended by CR LF, in UTF-8, and nothing else is left in the
# folder. A second game that only equals the record ends right after the goodbye and leaves
# both files as they were: same bytes, same files.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
sys_setup "$@"

score_file="$record_dir/avelmora.txt"
name_file="$record_dir/velmora.txt"

# play <name>: from the start to the goodbye accepted; sets goodbye to the goodbye box.
play() {
    local main bar
    start_game
    greet_as "$1"
    wait_main_window
    main=$found

    # The record line names the holder in blue, which nothing else on that line is.
    geometry "$main"
    bar=$((win_h - client_height))
    within 10 "the record holder's name on the record line" holder_shown "$main" "$bar"

    # The button is disabled: the click reaches the board below it, which starts the
    # targets moving. They are cyan, a colour nothing else on the board has.
    click "$main" 307 $((bar + 25))
    within 10 "a cyan target on the board" cyan_on "$main"

    press "$main" alt+x
    wait_dialog Corvalto
    goodbye=$found
    press "$goodbye" Return
}

# holder_shown <window> <menu-bar-height>: blue writing on client rows 528..557.
holder_shown() {
    grab "$1" "$work/board.rgb"
    [[ $(tail -c +$((($2 + 528) * win_w * 3 + 1)) "$work/board.rgb" | head -c $((30 * win_w * 3)) |
        od -An -v -tu1 -w3 | grep -Ecx ' +0 +0 +255') -gt 20 ]]
}

cyan_on() {
    grab "$1" "$work/board.rgb"
    # Counted to the end: a reader that stops early would break the pipe.
    [[ $(od -An -v -tu1 -w3 "$work/board.rgb" | grep -Ecx ' +0 +255 +255') -gt 0 ]]
}

# expect_bytes <file> <printf format> [arguments]: the file holds exactly these bytes.
expect_bytes() {
    local file=$1
    shift
    # shellcheck disable=SC2059 # the format is the expected content
    printf "$@" >"$work/expected"
    cmp -s "$file" "$work/expected" ||
        fail "$(basename "$file") holds [$(show_bytes "$file")], expected [$(show_bytes "$work/expected")]"
}

# --- A new record ---------------------------------------------------------------------------
empty_record_folder
printf -- '-5\r\n' >"$score_file"
printf 'Zed\r\n' >"$name_file"
play "Anna è"
# The score 0 beats -5: the congratulation follows the goodbye.
wait_dialog Corvalto "$goodbye"
press "$found" Return
wait_game_end
expect_status 0
expect_quiet_stderr
expect_bytes "$score_file" '0\r\n'
expect_bytes "$name_file" 'Anna \303\250\r\n'
# Beside the pair only the lock file stays, empty: no store is left unfinished.
leftovers=$(find "$record_dir" -mindepth 1 ! -name avelmora.txt ! -name velmora.txt ! -name velmora.lock)
[[ -z $leftovers ]] || fail "left in the record folder: $leftovers"
[[ ! -s $record_dir/velmora.lock ]] || fail "velmora.lock still holds a store: $(show_bytes "$record_dir/velmora.lock")"
say "a new record: stored"

# --- Only equal to the record -----------------------------------------------------------------
before=$(stat -c '%i %s %Y' "$score_file" "$name_file")
cp "$score_file" "$work/score.before"
cp "$name_file" "$work/name.before"
play Bruno
# No congratulation: the game ends by itself once the goodbye is accepted.
wait_end_without_box "after the goodbye, though the record was not beaten" "$goodbye"
expect_status 0
expect_quiet_stderr
cmp -s "$score_file" "$work/score.before" || fail "avelmora.txt changed: $(show_bytes "$score_file")"
cmp -s "$name_file" "$work/name.before" || fail "velmora.txt changed: $(show_bytes "$name_file")"
# Same bytes written again would still be a write: the files must be the very same ones.
[[ $(stat -c '%i %s %Y' "$score_file" "$name_file") == "$before" ]] ||
    fail "the record files were replaced though the record was not beaten"
say "an equal score: nothing stored"
say "PASS"
