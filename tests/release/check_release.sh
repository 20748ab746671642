#!/bin/sh
# Checks of what `make release` hands to Windows users, on the files alone.
#   check_release.sh contents      the same commit released in two folders
#                                  gives the same bytes, manifests and site
#                                  included;
#                                  the ZIP holds exactly the shipped programs,
#                                  a CRLF README and LICENSE; the sums check
#                                  out; the setup is within its size; every
#                                  version is QUELLIN_VERSION; the manifests
#                                  name the files' addresses and hashes, and
#                                  the site holds the downloads where they say;
#                                  the package's tables say what Wine cannot
#                                  show (its folder's lock among it), and the
#                                  next version's package is an upgrade of
#                                  this one
#   check_release.sh texts         every text of the setup is in each
#                                  language's file, and each language is
#                                  built in and described for winget
#   check_release.sh signed        with a throwaway certificate every Windows
#                                  file of the release carries a signature
#                                  that verifies against it
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$("$root/tools/version.sh")
name=Quellin-$version
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The numeric product version in a Windows file's version block, as a.b.c.d:
# the words after the fixed part's signature 0xFEEF04BD.
product_words() {
    at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -1 | cut -d: -f1)
    [ -n "$at" ] && od -An -tu2 -j $((at + 16)) -N8 "$1" | awk '{ print $2 "." $1 "." $4 "." $3 }'
}
# Values of a YAML key, at any depth, in the files given; of a top-level JSON one.
field() { key=$1; shift; sed -n "s/^[ -]*$key: //p" "$@"; }
json() { sed -n "s/^    \"$2\": \"\(.*\)\",\{0,1\}\$/\1/p" "$1"; }
# Both manifests in $1 download from folder $2; Scoop updates from $3.
check_addresses() {
    # One setup file for both scopes: each installer names it.
    urls=$(field InstallerUrl "$1/winget/manifests/b/Brindlecote/Quellin/$version/Brindlecote.Quellin.installer.yaml")
    [ "$(echo "$urls" | wc -l)" = 2 ] || fail "winget's manifest has $(echo "$urls" | wc -l) installers, not one per scope"
    for got in $urls; do
        [ "$got" = "$2/$name-setup.exe" ] || fail "winget's InstallerUrl is $got, not in $2"
    done
    got=$(json "$1/scoop/quellin.json" url)
    [ "$got" = "$2/$name-portable.zip" ] || fail "Scoop's url is $got, not in $2"
    grep -qF "\"url\": \"$3/Quellin-\$version-portable.zip\"" "$1/scoop/quellin.json" ||
        fail "Scoop's autoupdate address is not in $3"
}

case "${1:-}" in
contents)
    # Once from the checkout, once from a copy of it elsewhere (another path
    # length, no git): only the commit's date may carry over.
    epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1796083200)
    SOURCE_DATE_EPOCH=$epoch "$root/tools/release.sh" "$work/a" "$work/a-twin" "$work/a-manifests" "$work/a-site" >/dev/null
    copy="$work/another/much/longer/folder/quellin"
    mkdir -p "$copy/dist"
    cp -r "$root/installer" "$root/languages" "$root/resources" "$root/tools" "$root/LICENSE" "$root/README.md" "$root/docs" "$copy/"
    cp -r "$root/dist/x86" "$root/dist/x64" "$copy/dist/"
    SOURCE_DATE_EPOCH=$epoch "$copy/tools/release.sh" "$work/b" "$work/b-twin" "$work/b-manifests" "$work/b-site" >/dev/null
    for f in "$name-setup.exe" "$name-portable.zip" "$name.msi" SHA256SUMS; do
        cmp -s "$work/a/$f" "$work/b/$f" || fail "$f differs between two builds of the same sources"
    done
    for f in "$name-setup.exe" "$name.msi"; do
        cmp -s "$work/a-twin/$f" "$work/b-twin/$f" || fail "the x64 twin $f differs"
    done
    diff -r "$work/a-manifests" "$work/b-manifests" >/dev/null || fail "the manifests differ between the two builds"
    diff -r "$work/a-site" "$work/b-site" >/dev/null || fail "the site differs between the two builds"
    downloads=$(ls "$work/a" | tr '\n' ' ')
    [ "$downloads" = "$name-portable.zip $name-setup.exe $name.msi SHA256SUMS " ] || fail "release folder holds: $downloads"

    zip="$work/a/$name-portable.zip"
    sed 's/\r*$/\r/' "$root/LICENSE" > "$work/LICENSE.crlf"
    entries=$(unzip -Z1 "$zip" | tr '\n' ' ')
    [ "$entries" = "Quellbar.exe Quellsnap.exe README.txt LICENSE.txt " ] || fail "ZIP entries: $entries"
    for p in Quellbar.exe Quellsnap.exe; do
        unzip -p "$zip" "$p" | cmp -s - "$root/dist/x86/$p" || fail "$p in the ZIP is not dist/x86/$p"
    done
    unzip -p "$zip" README.txt > "$work/README.txt"
    lines=$(wc -l < "$work/README.txt")
    crlf=$(grep -c "$(printf '\r')\$" "$work/README.txt" || true)
    [ "$lines" -gt 10 ] && [ "$lines" = "$crlf" ] || fail "README.txt: $crlf of $lines lines end in CRLF"
    unzip -p "$zip" LICENSE.txt | cmp -s - "$work/LICENSE.crlf" || fail "LICENSE.txt in the ZIP is not LICENSE with CRLF"

    (cd "$work/a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check out"
    [ "$(wc -l < "$work/a/SHA256SUMS")" = 3 ] || fail "SHA256SUMS should have one line per download"

    # The package: what Windows does with it that Wine shows otherwise (all
    # users' Start menu) or not at all (the properties that cross into the
    # elevated part, Restart Manager, the early removal, file versions); the
    # rest the Wine round trip installs and checks. Each line: a table, then a row as msiinfo
    # exports it, columns apart by " => ", as a grep -x pattern.
    msi="$work/a/$name.msi"
    next_msi="$work/a-twin/x86/Quellin-$(echo "$version" | awk -F. '{ $NF = $NF + 1; print }' OFS=.).msi"
    tab=$(printf '\t')
    file_version="65535\\.$(echo "$version.0.0" | cut -d. -f1-3 | sed 's/\./\\./g')"
    while IFS='|' read -r table row; do
        msiinfo export "$msi" "$table" | tr -d '\r' | grep -qx "$(printf '%s' "$row" | sed "s/ => /$tab/g")" ||
            fail "the package's $table table has no row '$row'"
    done <<TABLE
Property|ALLUSERS => 1
Property|SecureCustomProperties => SIGNIN;HOTKEY;INSTALLDIR;.*
Property|MSIRESTARTMANAGERCONTROL => Disable
Directory|INSTALLDIR => ProgramFilesFolder => Quellin
Directory|MenuFolder => ProgramMenuFolder => Quellin
RegLocator|SetupForEveryone => 2 => Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Quellin => InstallLocation => 2
InstallExecuteSequence|RemoveExistingProducts =>  => 1501
CreateFolder|INSTALLDIR => Quellbar
File|Quellbar.exe => Quellbar => Quellbar.exe => [0-9]* => $file_version =>  => 512 => 1
File|Quellsnap.exe => Quellsnap => Quellsnap.exe => [0-9]* => $file_version =>  => 512 => 2
File|RemovePersonalCopy.exe => SignInStep => RemovePersonalCopy.exe => [0-9]* => $file_version =>  => 512 => 4
Registry|ActiveSetupKey => 2 => Software\\\\Microsoft\\\\Active Setup\\\\Installed Components\\\\Quellin => - =>  => SignInStep
TABLE
    # Its folder locked as setup locks one for everyone, and by nothing else:
    # one row, with no condition that could skip it, and no LockPermissions
    # table beside it (Windows Installer 5 refuses both, error 1941). The
    # README quotes the same descriptor.
    lock='O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
    rows=$(msiinfo export "$msi" MsiLockPermissionsEx | tr -d '\r' | tail -n +4)
    [ "$rows" = "InstallFolder${tab}INSTALLDIR${tab}CreateFolder${tab}$lock${tab}" ] ||
        fail "the package's MsiLockPermissionsEx rows are not INSTALLDIR's lock: $rows"
    ! msiinfo tables "$msi" | grep -qx LockPermissions || fail "the package has a LockPermissions table too"
    msiinfo suminfo "$msi" | grep -qx 'Version: 500 (1f4)' || fail "the package does not ask for Windows Installer 5"
    # The old version goes after InstallInitialize and before the first
    # action that writes.
    first_write=$(msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | awk -F"$tab" '$1 == "ProcessComponents" { print $3 }')
    [ "${first_write:-0}" -gt 1501 ] || fail "RemoveExistingProducts does not come before ProcessComponents ($first_write)"
    msiinfo suminfo "$msi" | grep -qx 'Template: Intel;1033' || fail "the package is not for 32-bit Windows"
    # The files it installs are the shipped ones.
    mkdir "$work/msi"
    (cd "$work/msi" && msiextract "$msi" >/dev/null) || fail "msiextract failed"
    for p in Quellbar.exe Quellsnap.exe RemovePersonalCopy.exe; do
        cmp -s "$(find "$work/msi" -name "$p")" "$root/dist/x86/$p" || fail "$p in the package is not dist/x86/$p"
    done
    cmp -s "$(find "$work/msi" -name LICENSE.txt)" "$work/LICENSE.crlf" || fail "LICENSE.txt in the package is not LICENSE with CRLF"
    # The next version's package replaces this one: the same UpgradeCode,
    # another ProductCode, a later version.
    value() { msiinfo export "$1" Property | tr -d '\r' | awk -F"$tab" -v p="$2" '$1 == p { print $2 }'; }
    [ -n "$(value "$msi" UpgradeCode)" ] && [ "$(value "$msi" UpgradeCode)" = "$(value "$next_msi" UpgradeCode)" ] ||
        fail "the next version's package has another UpgradeCode"
    [ "$(value "$msi" ProductCode)" != "$(value "$next_msi" ProductCode)" ] || fail "the next version's package has the same ProductCode"
    msi_size=$(stat -c %s "$msi")
    [ "$msi_size" -le 65536 ] || fail "the package is $msi_size bytes, more than 64 KB"

    size=$(stat -c %s "$work/a/$name-setup.exe")
    echo "setup $size bytes, ZIP $(stat -c %s "$zip") bytes, package $msi_size bytes, twin setup $(stat -c %s "$work/a-twin/$name-setup.exe") bytes"
    [ "$size" -le 204800 ] || fail "setup is $size bytes, more than 200 KB"
    # What Explorer's Details tab and SmartScreen show about the setup.
    for text in Quellin Brindlecote "Sets up Quellin" "$version"; do
        strings -el -n 3 "$work/a/$name-setup.exe" | grep -qx "$text" || fail "no '$text' in the setup's version block"
    done
    # The four numbers Windows compares, in the setup and in both programs.
    words=$(printf '%s.0.0.0' "$version" | cut -d. -f1-4)
    for f in "$work/a/$name-setup.exe" "$root/dist/x86/Quellbar.exe" "$root/dist/x86/Quellsnap.exe" \
             "$root/dist/x86/RemovePersonalCopy.exe"; do
        [ "$(product_words "$f")" = "$words" ] || fail "$f: product version $(product_words "$f"), not $words"
    done

    # The manifests: what no schema can know.
    m=$work/a-manifests
    winget=$m/winget/manifests/b/Brindlecote/Quellin/$version
    # The schema check takes a file by this line: without it, no check.
    for kind in version:Brindlecote.Quellin installer:Brindlecote.Quellin.installer defaultLocale:Brindlecote.Quellin.locale.en-US; do
        head -1 "$winget/${kind#*:}.yaml" | grep -qx "# yaml-language-server: \$schema=https://aka.ms/winget-manifest.${kind%%:*}.1.12.0.schema.json" ||
            fail "${kind#*:}.yaml does not open with its schema line"
    done
    # One locale manifest for each other language the setup speaks, with that
    # language's own description.
    for texts in "$root/languages/"*/*.winget.yaml; do
        tag=$(field PackageLocale "$texts")
        [ "$tag" = en-US ] && continue
        got=$winget/Brindlecote.Quellin.locale.$tag.yaml
        if ! head -1 "$got" 2>/dev/null | grep -qx "# yaml-language-server: \$schema=https://aka.ms/winget-manifest.locale.1.12.0.schema.json"; then
            fail "no locale manifest for $tag, or one without its schema line"
        elif [ "$(field ShortDescription "$got")" != "$(field ShortDescription "$texts")" ]; then
            fail "the $tag manifest does not describe Quellin in its own language"
        fi
    done
    # winget knows every exit code setup has: quellin.nsi's list, and NSIS's
    # own 1 (Cancel).
    codes=$(sed -n 's/^!define EXIT_[A-Z_]* \([0-9]*\).*/\1/p' "$root/installer/quellin.nsi" | sort -n | tr '\n' ' ')
    listed=$(field InstallerReturnCode "$winget/Brindlecote.Quellin.installer.yaml" | sort -n | tr '\n' ' ')
    [ "$listed" = "1 $codes" ] || fail "winget's manifest lists the exit codes $listed; setup has 1 $codes"
    for v in $(field PackageVersion "$winget/"*.yaml) $(field DisplayVersion "$winget/"*.yaml) $(json "$m/scoop/quellin.json" version); do
        [ "$v" = "$version" ] || fail "a manifest gives version $v, not $version"
    done
    home=https://www.brindlecote.com/
    check_addresses "$m" "${home}quellin/releases/$version" "${home}quellin/releases/\$version"
    sha=$(sha256sum "$work/a/$name-setup.exe" | cut -d' ' -f1 | tr a-f A-F)
    for got in $(field InstallerSha256 "$winget/Brindlecote.Quellin.installer.yaml"); do
        [ "$got" = "$sha" ] || fail "winget's InstallerSha256 is not the setup's"
    done
    sha=$(sha256sum "$zip" | cut -d' ' -f1)
    [ "$(json "$m/scoop/quellin.json" hash)" = "$sha" ] || fail "Scoop's hash is not the ZIP's"
    # Scoop's bin and shortcuts (its only .exe names) are files the ZIP holds,
    # and the command it puts on the PATH is Quellsnap.
    for f in $(grep -o '"[^"/]*\.exe"' "$m/scoop/quellin.json" | tr -d '"'); do
        unzip -Z1 "$zip" | grep -qx "$f" || fail "Scoop names $f, which the ZIP lacks"
    done
    [ "$(json "$m/scoop/quellin.json" bin)" = Quellsnap.exe ] || fail "Scoop's bin is not Quellsnap.exe"

    # Another folder for the downloads: every address follows it, and the
    # site holds the files there, or links them on another host.
    RELEASE_URL="https://downloads.example.org/q/v$version/" "$root/tools/write-manifests.sh" "$work/a" "$work/c" >/dev/null
    check_addresses "$work/c" "https://downloads.example.org/q/v$version" "https://downloads.example.org/q/v\$version"
    "$root/tools/site/make-site.py" "$work/a" "$work/c" "$work/c-site"
    grep -q "href=\"https://downloads.example.org/q/v$version/$name-setup.exe\"" "$work/c-site/index.html" ||
        fail "the page does not link the setup on the other host"
    [ -z "$(find "$work/c-site" -name "$name-*")" ] || fail "the site holds release files meant for another host"
    RELEASE_URL="${home}files/v$version" "$root/tools/write-manifests.sh" "$work/a" "$work/d" >/dev/null
    "$root/tools/site/make-site.py" "$work/a" "$work/d" "$work/d-site"
    for f in "$name-setup.exe" "$name-portable.zip" SHA256SUMS; do
        cmp -s "$work/a/$f" "$work/d-site/files/v$version/$f" || fail "the site has no $f at files/v$version/"
    done

    checker=${QUELLIN_MANIFEST_CHECK:-$root/../shared/tools/check-package-manifests}
    if [ -x "$checker" ]; then
        "$checker" "$m" > "$work/schema.log" || { cat "$work/schema.log"; fail "the manifests do not pass the package managers' schemas"; }
    else
        echo "note: $checker not found: manifests not checked against the schemas"
    fi
    ;;
texts)
    # Every text the setup and uninstaller show is a language string, named the
    # same in every language's file; each language's file is built in and
    # has its package description. makensis -WX fails a release build on a
    # missing one too, but says nothing of a literal text in English only.
    cd "$root/installer"
    # A text a control is given while it shows is a "STR:" string; one that
    # is only a variable (a folder as typed) holds no words.
    literal=$(grep -nE '^ *(MessageBox|!insertmacro (REFUSE|MUI_HEADER_TEXT|MUI_DESCRIPTION_TEXT)|\$\{NSD_Create|Section |!define MUI_[A-Z_]*TEXT|.*"STR:)' \
        *.nsi *.nsh | sed -E 's/"STR:\$[A-Za-z_][A-Za-z0-9_]*"/""/; s/"STR:/"/' | grep -vE 'Section "(-|\$\(|Uninstall")' | grep -E '"([^$"]|\$[^({])[^"]*"' | grep -vE '"\$\([A-Za-z]+\)"' || true)
    [ -z "$literal" ] || fail "texts outside the language files: $literal"
    names() { sed -n 's/^LangString \([A-Za-z]*\) 0 .*/\1/p' "$1" | sort; }
    for file in ../languages/*/*.nsh; do
        language=$(basename "$file" .nsh)
        tag=$(basename "$(dirname "$file")")
        missing=$(names ../languages/en/English.nsh | comm -3 - "$(names "$file" > "$work/names"; echo "$work/names")" | tr -d '\t' | tr '\n' ' ')
        [ -z "$missing" ] || fail "$language.nsh differs from English.nsh in: $missing"
        grep -qx "!insertmacro MUI_LANGUAGE \"$language\"" "$file" || fail "$language.nsh does not load NSIS's $language"
        grep -qxF "!include ..\\languages\\$tag\\$language.nsh" quellin.nsi || fail "quellin.nsi does not include $tag/$language.nsh"
        [ -f "../languages/$tag/$language.winget.yaml" ] || fail "$language has no languages/$tag/$language.winget.yaml"
    done
    ;;
signed)
    cd "$work"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
        -subj "/CN=Quellin throwaway test certificate" 2>/dev/null
    openssl pkcs12 -export -inkey key.pem -in cert.pem -out test.pfx -passout pass:throwaway
    # A time server that refuses at once: this machine has no network, and
    # the release must still be signed then (without a timestamp).
    SIGN_PFX=$work/test.pfx SIGN_PASS=throwaway SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ \
        "$root/tools/release.sh" "$work/out" "$work/twin" >/dev/null 2>"$work/sign.log"
    unzip -q "$work/out/$name-portable.zip" -d "$work/zip"
    # The uninstaller is made inside the setup, and the sign-in step only
    # ships inside it: take them out as Windows would get them.
    7z e -y -o"$work/un" "$work/out/$name-setup.exe" Uninstall.exe RemovePersonalCopy.exe >/dev/null
    for f in out/$name-setup.exe out/$name.msi zip/Quellbar.exe zip/Quellsnap.exe un/Uninstall.exe un/RemovePersonalCopy.exe; do
        if osslsigncode verify -CAfile cert.pem -in "$f" 2>&1 | grep -q "^Signature verification: ok"; then
            echo "signed and verified: $f"
        else
            fail "$f has no signature that verifies"
        fi
    done
    (cd "$work/out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed files"
    ;;
*)
    echo "usage: $0 contents|texts|signed" >&2
    exit 2
    ;;
esac
[ $failures = 0 ] && echo "PASS" || exit 1
