#!/bin/bash
# shellcheck disable=SC2119 # the helpers' arguments are optional
# A record file the game must not use: avelmora.txt is a symbolic link to a file elsewhere.
# After the name and the greeting the game shows a critical box instead of its window, and
# once it is accepted ends with status 1. The link and the file it points to are untouched.
# (The box's text, which names the file and the reason, cannot be read from the screen
# here; the unit tests of the record files cover it.)
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
sys_setup "$@"

empty_record_folder
# The target lives in this test's own work folder, never in a place that matters.
mkdir -p "$work/elsewhere"
target="$work/elsewhere/avelmora.txt"
printf '42\r\n' >"$target"
touch -d '2001-02-03 04:05:06' "$target"
before=$(stat -c '%i %s %Y' "$target")
ln -s "$target" "$record_dir/avelmora.txt"

start_game
greet_as Anna
wait_dialog Corvalto "$greeting"
critical=$found
[[ -z $(game_windows Corvalto NORMAL) ]] || fail "the main window is shown along with the error box"
# A critical box carries the red stop sign; no other box of the game has anything red.
red_on() {
    grab "$1" "$work/box.rgb"
    [[ $(od -An -v -tu1 -w3 "$work/box.rgb" | awk '$1 > 180 && $2 < 60 && $3 < 60' | wc -l) -gt 50 ]]
}
within 10 "the red sign of a critical box" red_on "$critical"
press "$critical" Return
wait_end_without_box "after the error box" "$critical"
expect_status 1
expect_quiet_stderr

[[ -L $record_dir/avelmora.txt && $(readlink "$record_dir/avelmora.txt") == "$target" ]] ||
    fail "the link avelmora.txt was changed"
[[ $(stat -c '%i %s %Y' "$target") == "$before" ]] || fail "the file the link points to was touched"
printf '42\r\n' >"$work/expected"
cmp -s "$target" "$work/expected" || fail "the file the link points to changed: $(show_bytes "$target")"
# Not to be met by whoever runs the game of this build next.
rm "$record_dir/avelmora.txt"
say "PASS"
