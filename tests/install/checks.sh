# What the install checks share, sourced by each: failures counted, names compared by owner,
# group, mode and type, and the record folder as every game needs it.
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Owner, group, mode and type of a name, never through a link.
node() { stat -c '%U:%G %a %F' -- "$1" 2>/dev/null || echo missing; }
# Names under the work folder are told without it.
expect_node() {
    shown=$1
    [ -z "${work:-}" ] || shown=${1#"$work"/}
    [ "$(node "$1")" = "$2" ] || fail "$3: $shown is '$(node "$1")', not '$2'"
}
# check_record_folder <folder> <when> <score file's type> [<name file's type>]: the three files
# and nothing else, root's and the group's.
check_record_folder() {
    expect_node "$1" "root:games 2775 directory" "$2"
    expect_node "$1/avelmora.txt" "root:games 664 $3" "$2"
    expect_node "$1/velmora.txt" "root:games 664 ${4:-$3}" "$2"
    expect_node "$1/velmora.lock" "root:games 660 regular empty file" "$2"
    left=$(cd "$1" && ls -A | tr '\n' ' ')
    [ "$left" = "avelmora.txt velmora.lock velmora.txt " ] || fail "$2: the record folder holds $left"
}
