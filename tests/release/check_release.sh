#!/bin/sh
# Checks of what `make release` hands to Windows users, on the files alone.
#   check_release.sh contents      the same commit released in two folders
#                                  gives the same bytes; the ZIP holds exactly
#                                  the shipped programs and a CRLF README; the
#                                  sums check out; the setup is within its size
#   check_release.sh signed        with a throwaway certificate every Windows
#                                  file of the release carries a signature
#                                  that verifies against it
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
name=Quellin-1.0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

case "${1:-}" in
contents)
    # Once from the checkout, once from a copy of it elsewhere (another path
    # length, no git): only the commit's date may carry over.
    epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1796083200)
    SOURCE_DATE_EPOCH=$epoch "$root/tools/release.sh" "$work/a" "$work/a-twin" >/dev/null
    copy="$work/another/much/longer/folder/quellin"
    mkdir -p "$copy/dist"
    cp -r "$root/installer" "$root/resources" "$root/tools" "$copy/"
    cp -r "$root/dist/x86" "$root/dist/x64" "$copy/dist/"
    SOURCE_DATE_EPOCH=$epoch "$copy/tools/release.sh" "$work/b" "$work/b-twin" >/dev/null
    for f in "$name-setup.exe" "$name-portable.zip" SHA256SUMS; do
        cmp -s "$work/a/$f" "$work/b/$f" || fail "$f differs between two builds of the same sources"
    done
    cmp -s "$work/a-twin/$name-setup.exe" "$work/b-twin/$name-setup.exe" || fail "the x64 twin setup differs"

    zip="$work/a/$name-portable.zip"
    entries=$(unzip -Z1 "$zip" | tr '\n' ' ')
    [ "$entries" = "Quellbar.exe Quellsnap.exe README.txt " ] || fail "ZIP entries: $entries"
    for p in Quellbar.exe Quellsnap.exe; do
        unzip -p "$zip" "$p" | cmp -s - "$root/dist/x86/$p" || fail "$p in the ZIP is not dist/x86/$p"
    done
    unzip -p "$zip" README.txt > "$work/README.txt"
    lines=$(wc -l < "$work/README.txt")
    crlf=$(grep -c "$(printf '\r')\$" "$work/README.txt" || true)
    [ "$lines" -gt 10 ] && [ "$lines" = "$crlf" ] || fail "README.txt: $crlf of $lines lines end in CRLF"

    (cd "$work/a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check out"
    [ "$(wc -l < "$work/a/SHA256SUMS")" = 2 ] || fail "SHA256SUMS should have one line per download"

    size=$(stat -c %s "$work/a/$name-setup.exe")
    echo "setup $size bytes, ZIP $(stat -c %s "$zip") bytes, twin setup $(stat -c %s "$work/a-twin/$name-setup.exe") bytes"
    [ "$size" -le 153600 ] || fail "setup is $size bytes, more than 150 KB"
    # What Explorer's Details tab and SmartScreen show about the setup.
    for text in Quellin Brindlecote "Sets up Quellin" 1.0; do
        strings -el -n 3 "$work/a/$name-setup.exe" | grep -qx "$text" || fail "no '$text' in the setup's version block"
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
    # The uninstaller is made inside the setup; take it out as Windows would get it.
    7z e -y -o"$work/un" "$work/out/$name-setup.exe" Uninstall.exe >/dev/null
    for f in out/$name-setup.exe zip/Quellbar.exe zip/Quellsnap.exe un/Uninstall.exe; do
        if osslsigncode verify -CAfile cert.pem -in "$f" 2>&1 | grep -q "^Signature verification: ok"; then
            echo "signed and verified: $f"
        else
            fail "$f has no signature that verifies"
        fi
    done
    (cd "$work/out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the signed files"
    ;;
*)
    echo "usage: $0 contents|signed" >&2
    exit 2
    ;;
esac
[ $failures = 0 ] && echo "PASS" || exit 1
