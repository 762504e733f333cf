#!/bin/sh
# The MSI package of the staged game, with Debian's wixl and msitools:
#   packaging/windows/build-msi.sh <build/windows> <version> <package.msi>
# The file list comes from <build/windows>/stage, as the NSIS uninstaller's does. The product code
# is a name-based UUID of the version under the upgrade code: a new one for each version, the same
# for every build of it. Prints the package's path.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 3 ] && [ -d "$1/stage" ] || {
    echo "usage: $0 <build folder with stage/> <version> <package.msi>" >&2
    exit 2
}
stage=$(cd "$1/stage" && pwd)
version=$2 out=$3
# Everything in <build/windows>/msi, also what msiinfo writes into the folder it runs in (a
# table's binary columns); kept for a look when the package is refused.
work=$(cd "$1" && pwd)/msi
shift 3
rm -rf "$work"
mkdir "$work"
cd "$work"

makensis -V2 -DOUTFILE="$work/recordfolder.exe" "$here/recordfolder.nsi"
x86_64-w64-mingw32-gcc-posix -O2 -Wall -Wextra -Werror -shared -s -o "$work/inuse.dll" \
    "$here/inuse.c" -lmsi

# Every staged file, each in a component of its own (64-bit, so that Windows Installer puts it
# in the 64-bit Program Files); wixl-heat derives the identifiers and GUIDs from the paths.
(cd "$stage" && find . -type f | LC_ALL=C sort | cut -c3-) |
    wixl-heat --prefix "" --directory-ref INSTALLDIR --component-group Staged --var var.Stage |
    sed 's/ Guid="\*"/& Win64="yes"/' >"$work/files.wxs"

# wixl finds files only by relative paths.
ln -s "$stage" "$work/stage"
upgrade=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$here/corvalto.wxs")
product=$(uuidgen --sha1 --namespace "$upgrade" --name "$version")
(wixl -a x64 -D Version="$version" -D ProductCode="$product" -D Stage=stage \
    -D Helpers=. -o package.msi "$here/corvalto.wxs" files.wxs) 2>"$work/wixl.log" ||
    { cat "$work/wixl.log" >&2; exit 1; }
# wixl writes no executable custom action from the Binary table: the record folder's two, run as
# SYSTEM in the installation's script (2 + msidbCustomActionTypeInScript +
# msidbCustomActionTypeNoImpersonate), a failure failing the installation: the set-up before
# InstallFiles (nothing of the game is installed if it fails), the purge at the end of an uninstall
# asked for with PURGE=1, never in an upgrade's removal of the older version. The check for files
# in use right after InstallValidate, before anything changes (never in that removal either: this
# installation has checked). The older version's removal right after InstallInitialize, inside
# this installation's script, so that a failure brings it back.
# Each folder of the game goes when it is empty at an uninstall, those that hold only folders
# too (msidbRemoveFileInstallModeOnRemove, with any one component: all are removed together).
component=$(sed -n 's/.*<Component Id="\([^"]*\)".*/\1/p' "$work/files.wxs" | head -n 1)
# Children first (wixl-heat writes parents first).
for dir in $(sed -n 's/.*<Directory Id="\([^"]*\)".*/\1/p' "$work/files.wxs" | tac) INSTALLDIR; do
    set -- "$@" -q "INSERT INTO RemoveFile (FileKey, Component_, DirProperty, InstallMode) VALUES ('rm$dir', '$component', '$dir', 2)"
done
secure=$(msiinfo export "$work/package.msi" Property | sed -n 's/^SecureCustomProperties\t//p')
msibuild "$work/package.msi" \
    -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('SetUpRecordFolder', 3074, 'RecordFolder', '/SETUP')" \
    -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('PurgeRecordFolder', 3074, 'RecordFolder', '/PURGE')" \
    -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('CheckFilesInUse', 'NOT UPGRADINGPRODUCTCODE', 1401)" \
    -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('SetUpRecordFolder', 'NOT REMOVE', 3990)" \
    -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('PurgeRecordFolder', 'REMOVE=\"ALL\" AND PURGE=\"1\" AND NOT UPGRADINGPRODUCTCODE', 6590)" \
    -q "UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts'" \
    -q "UPDATE Property SET Value = '$secure;PURGE' WHERE Property = 'SecureCustomProperties'" "$@"

# The package reads back without errors, and holds each staged file once.
msiinfo suminfo "$work/package.msi" >/dev/null
for table in $(msiinfo tables "$work/package.msi"); do
    msiinfo export "$work/package.msi" "$table" >/dev/null
done
mkdir "$work/dump"
msidump -t -d "$work/dump" "$work/package.msi" >/dev/null
staged=$(find "$stage" -type f | wc -l)
files=$(tail -n +4 "$work/dump/File.idt" | wc -l)
[ "$files" -eq "$staged" ] || {
    echo "build-msi.sh: $files files in the package, $staged staged" >&2
    exit 1
}
for action in SetUpRecordFolder PurgeRecordFolder CheckFilesInUse; do
    grep -q "^$action	" "$work/dump/CustomAction.idt" || {
        echo "build-msi.sh: no custom action $action" >&2
        exit 1
    }
done
if grep -q . "$work/wixl.log"; then
    cat "$work/wixl.log" >&2
    exit 1
fi
cd - >/dev/null
mv "$work/package.msi" "$out"
rm -rf "$work"
echo "$out"
