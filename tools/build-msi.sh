#!/bin/sh
# Builds Quellin's Windows Installer package from installer/quellin.wxs:
# wixl writes the database, then msibuild sets what wixl drops or cannot say
# (see the SQL below). The same arguments give the same bytes.
#
# Usage: build-msi.sh VERSION ARCH PROGRAMS_DIR LICENSE OUT
#   VERSION       the release version, e.g. 1.0 (the tests build one later)
#   ARCH          x86 (what is shipped) or x64 (the twin the Wine tests install)
#   PROGRAMS_DIR  the folder with Quellbar.exe, Quellsnap.exe and RemovePersonalCopy.exe
#   LICENSE       the file installed as LICENSE.txt
#   OUT           the package to write
# Env: SOURCE_DATE_EPOCH  the summary's and the files' dates (default: the commit's)
set -eu

[ $# -eq 5 ] || { echo "usage: build-msi.sh VERSION ARCH PROGRAMS_DIR LICENSE OUT" >&2; exit 2; }
version=$1 arch=$2 programs=$3 license=$4 out=$5
root=$(cd "$(dirname "$0")/.." && pwd)
texts=$root/resources/product_texts.h
text() { sed -n "s/^#define $1  *\"\(.*\)\"\$/\1/p" "$2"; }
company=$(text QUELLIN_COMPANY "$texts")
home="https://$(text QUELLIN_WEB_HOST "$texts")/"

# Windows Installer compares the first three numbers of a version only.
case "$version" in
    [0-9]* | [0-9]*.[0-9]* | [0-9]*.[0-9]*.[0-9]*) ;;
    *) echo "build-msi: '$version' is not a package version (at most three numbers)" >&2; exit 2 ;;
esac
case "$arch" in
    x86) template="Intel;1033" ;;
    x64) template="x64;1033" ;;
    *) echo "build-msi: ARCH is x86 or x64, not '$arch'" >&2; exit 2 ;;
esac

# Codes derived from the version: one version built twice is one product;
# another version is another product of the same UpgradeCode.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$root/installer/quellin.wxs")
code() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
    "$upgrade_code" "$1"; }
product_code=$(code "product $version $arch")
package_code=$(code "package $version $arch")

file_version=$(echo "$version.0.0" | { IFS=. read -r a b c _; echo "65535.$a.$b.$c"; })
# Active Setup's Version: four numbers with commas, as setup writes it.
active_setup_version=$(echo "$version.0.0.0" | { IFS=. read -r a b c d _; echo "$a,$b,$c,$d"; })
# The install folder's DACL, the one setup gives a folder for everyone.
lock=$(sed -n 's/^!define LOCK_FOR_EVERYONE "\(.*\)"$/\1/p' "$root/installer/folder_lock.nsh")
[ -n "$lock" ] || { echo "build-msi: no LOCK_FOR_EVERYONE in installer/folder_lock.nsh" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# wixl takes source paths relative to the folder it runs in.
mkdir "$work/programs"
cp "$programs/Quellbar.exe" "$programs/Quellsnap.exe" "$programs/RemovePersonalCopy.exe" "$work/programs/"
cp "$license" "$work/LICENSE.txt"
cp "$root/installer/quellin.wxs" "$work/"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1796083200)}
TZ=UTC touch -d "@$epoch" "$work/programs/"* "$work/LICENSE.txt"
# A frozen clock (no "@": it does not run on) for the dates wixl and
# msibuild write into the summary and the cabinet.
clock=$(TZ=UTC date -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
run() { TZ=UTC faketime -f "$clock" "$@"; }

(cd "$work" && run wixl -a "$arch" -o quellin.msi \
    -D "Version=$version" -D "ActiveSetupVersion=$active_setup_version" -D "ProductCode=$product_code" -D "PackageArch=$arch" \
    -D Programs=programs -D License=LICENSE.txt -D "Company=$company" -D "HomePage=$home" \
    -D "QuellbarDescription=$(text VB_DESCRIPTION "$root/resources/quellbar.rc")" \
    -D "QuellsnapDescription=$(text VB_DESCRIPTION "$root/resources/quellsnap.rc")" \
    quellin.wxs) 2> "$work/wixl.log" || { cat "$work/wixl.log" >&2; exit 1; }

# What wixl leaves out:
# - Quellsnap's key, Ctrl+Alt+Shift+O as the shell stores it (0x074F): wixl
#   drops Shortcut/@Hotkey.
# - Which of the two components of a choice is installed.
# - The earlier version removed first, right after InstallInitialize (wixl
#   puts it after InstallFinalize once the source schedules anything): its
#   files go before ours are compared with them, which keeps the file-version
#   rule from keeping an old file of the same file version.
# - The properties a person's command line may pass to the elevated part.
# - The programs' file version, which wixl leaves empty (and then an
#   installed file always wins). Windows Installer replaces an installed file
#   only with a higher version, and both programs carry 1.0.3.11 in every
#   release: the table states 65535 and the package version after it, above
#   any program's own and rising with each release. When the earlier version
#   could not remove a file in use (another person's Quellbar), the new one
#   is then written beside it and replaces it at the next restart (exit 3010)
#   instead of the old file staying for good. Explorer still shows each
#   file's own version; only this comparison reads the table's.
# - The Active Setup component's key removed whole with the package ('-' in
#   Registry's Name column): values alone would leave an empty key that still
#   names the component.
# - The install folder's permissions, as setup sets them for everyone: an
#   MsiLockPermissionsEx row (Windows Installer 5) on INSTALLDIR's
#   CreateFolder entry, which applies them as the folder is created, before
#   the files go in. Never beside a LockPermissions table (error 1941).
sql="UPDATE Shortcut SET Hotkey = 1871 WHERE Shortcut = 'QuellsnapLinkWithKey';
UPDATE Component SET Condition = 'HOTKEY = \"1\"' WHERE Component = 'QuellsnapWithKey';
UPDATE Component SET Condition = 'HOTKEY = \"0\"' WHERE Component = 'QuellsnapWithoutKey';
UPDATE Component SET Condition = 'SIGNIN = \"1\"' WHERE Component = 'SignIn';
UPDATE Component SET Condition = 'SIGNIN = \"0\"' WHERE Component = 'NoSignIn';
UPDATE InstallExecuteSequence SET Sequence = 1501 WHERE Action = 'RemoveExistingProducts';
UPDATE File SET Version = '$file_version' WHERE File = 'Quellbar.exe' OR File = 'Quellsnap.exe' OR File = 'RemovePersonalCopy.exe';
INSERT INTO \`Registry\` (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Component_\`) VALUES ('ActiveSetupKey', 2, 'Software\\Microsoft\\Active Setup\\Installed Components\\Quellin', '-', 'SignInStep');
UPDATE Property SET Value = 'SIGNIN;HOTKEY;INSTALLDIR;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties';
CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL, \`LockObject\` CHAR(72) NOT NULL, \`Table\` CHAR(32) NOT NULL, \`SDDLText\` LONGCHAR NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`MsiLockPermissionsEx\`);
INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDLText\`) VALUES ('InstallFolder', 'INSTALLDIR', 'CreateFolder', '$lock')"
printf '%s\n' "$sql" | while IFS= read -r statement; do
    run msibuild "$work/quellin.msi" -q "${statement%;}"
done
run msibuild "$work/quellin.msi" -s Quellin "$company" "$template" "{$package_code}"
mkdir -p "$(dirname "$out")"
mv "$work/quellin.msi" "$out"
