#!/bin/sh
# `make release`: the files a Windows user downloads, in dist/release/
# (<version> is QUELLIN_VERSION, see tools/version.sh):
#   Quellin-<version>-setup.exe     the per-user installer of the 32-bit programs
#   Quellin-<version>-portable.zip  the two programs, README.txt and LICENSE.txt
#   Quellin-<version>.msi           the Windows Installer package for everyone
#                                   (tools/build-msi.sh), for Group Policy
#   SHA256SUMS                      sha256sum lines for the three files above
# the installer's and the package's x64 twins, build/release-x64/
# Quellin-<version>-setup.exe and Quellin-<version>.msi, which the Wine tests
# install (this machine cannot run 32-bit code), beside them the package one
# version later (x64, and x86/ for the 32-bit test run), which the tests
# upgrade to, and the
# winget and Scoop manifests for those downloads in dist/manifests/
# (tools/write-manifests.sh), which are submitted, not downloaded; and in
# dist/site/ the download site that serves them (tools/site/make-site.py).
#
# Usage: release.sh [RELEASE_DIR [TWIN_DIR [MANIFEST_DIR [SITE_DIR]]]]   (after `make build`)
#        MANIFEST_DIR and SITE_DIR default to the folders beside RELEASE_DIR
#        named manifests and site.
# Env:   SIGN_PFX, SIGN_PASS   a PKCS#12 certificate and its password: the
#                              programs, the uninstaller, the setup and the
#                              package are
#                              then Authenticode-signed (tools/sign-file.sh)
#        SOURCE_DATE_EPOCH     date of the ZIP entries (default: the commit's)
#        RELEASE_URL           where the downloads will be (write-manifests.sh
#                              and the site follow it)
# Unsigned, the same commit gives the same bytes in any folder.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/dist/release}
twin=${2:-$root/build/release-x64}
manifests=${3:-$(dirname "$out")/manifests}
site=${4:-$(dirname "$out")/site}
version=$("$root/tools/version.sh")
name=Quellin-$version

# The programs both setups and the package install; the portable ZIP holds
# the first two (the third is the install for everyone's sign-in step).
programs="Quellbar.exe Quellsnap.exe RemovePersonalCopy.exe"
for arch in x86 x64; do
    for p in $programs; do
        [ -f "$root/dist/$arch/$p" ] || { echo "release: dist/$arch/$p is missing; run make first" >&2; exit 1; }
    done
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/programs" "$work/zip" "$out" "$twin"
(cd "$root/dist/x86" && cp $programs "$work/programs/")
# Windows users read the texts in Notepad: CRLF line ends. The licence goes
# into the ZIP and, through both setups, beside the installed programs.
crlf() { sed 's/\r*$/\r/' "$1"; }
crlf "$root/LICENSE" > "$work/LICENSE.txt"

sign_define=
if [ -n "${SIGN_PFX:-}" ]; then
    [ -f "$SIGN_PFX" ] || { echo "release: SIGN_PFX=$SIGN_PFX not found" >&2; exit 1; }
    for f in "$work/programs/"*.exe; do "$root/tools/sign-file.sh" "$f"; done
    sign_define="-DSIGN_CMD=$root/tools/sign-file.sh"
fi

# makensis reads its own options before the script; quiet unless it fails.
# Any warning fails the build (-WX): the one that matters is a language file
# lacking a text, which NSIS would otherwise show in English.
nsis() {
    if ! makensis -V2 -WX -INPUTCHARSET UTF8 "$@" "$root/installer/quellin.nsi" > "$work/makensis.log" 2>&1; then
        cat "$work/makensis.log" >&2
        exit 1
    fi
}
nsis -DARCH=x86 "-DPROGRAMS=$work/programs" "-DLICENSE_FILE=$work/LICENSE.txt" "-DOUTFILE=$out/$name-setup.exe" \
    $sign_define
nsis -DARCH=x64 "-DPROGRAMS=$root/dist/x64" "-DLICENSE_FILE=$work/LICENSE.txt" "-DOUTFILE=$twin/$name-setup.exe"

"$root/tools/build-msi.sh" "$version" x86 "$work/programs" "$work/LICENSE.txt" "$out/$name.msi"
if [ -n "${SIGN_PFX:-}" ]; then "$root/tools/sign-file.sh" "$out/$name.msi"; fi
"$root/tools/build-msi.sh" "$version" x64 "$root/dist/x64" "$work/LICENSE.txt" "$twin/$name.msi"
# The package one version later, for the upgrade test: a Quellbar.exe that
# differs from the installed one (a trailing byte run, which Windows loads
# as before), so that a test can tell which of the two it finds.
next=$(echo "$version" | awk -F. '{ $NF = $NF + 1; print }' OFS=.)
for arch in x86 x64; do
    mkdir -p "$work/next-$arch" "$twin/x86"
    (cd "$root/dist/$arch" && cp $programs "$work/next-$arch/")
    printf 'Quellin %s' "$next" >> "$work/next-$arch/Quellbar.exe"
done
"$root/tools/build-msi.sh" "$next" x86 "$work/next-x86" "$work/LICENSE.txt" "$twin/x86/Quellin-$next.msi"
"$root/tools/build-msi.sh" "$next" x64 "$work/next-x64" "$work/LICENSE.txt" "$twin/Quellin-$next.msi"

# A ZIP entry stores its date and the file's mode: both fixed, entries in a
# fixed order, no directory entries and no Unix extra fields.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1796083200)}
cp "$work/programs/Quellbar.exe" "$work/programs/Quellsnap.exe" "$work/LICENSE.txt" "$work/zip/"
# The title line carries the version, and the line under it is as long.
title="Quellin $version"
crlf "$root/installer/README.txt" |
    sed -e "1s/@VERSION@/$version/" -e "2s/^=*/$(printf '%s' "$title" | sed 's/./=/g')/" > "$work/zip/README.txt"
chmod 644 "$work/zip/"*
TZ=UTC touch -d "@$epoch" "$work/zip/"*
rm -f "$out/$name-portable.zip"
(cd "$work/zip" && TZ=UTC zip -q -X -D -9 "$out/$name-portable.zip" Quellbar.exe Quellsnap.exe README.txt LICENSE.txt)

(cd "$out" && sha256sum "$name-setup.exe" "$name-portable.zip" "$name.msi" > SHA256SUMS)
ls -l "$out" "$twin/$name-setup.exe" "$twin/$name.msi"
"$root/tools/write-manifests.sh" "$out" "$manifests"
"$root/tools/site/make-site.py" "$out" "$manifests" "$site"
echo "site to upload in $site"
