#!/bin/sh
# Authenticode-signs one Windows file in place with SIGN_PFX / SIGN_PASS,
# with a timestamp when SIGN_TIMESTAMP_URL (default: a public time server)
# answers, so that the signature outlives the certificate. Called by
# tools/release.sh for the programs and by makensis for the uninstaller and
# the setup.
set -eu
file=$1
: "${SIGN_TIMESTAMP_URL:=http://timestamp.digicert.com}"
# The signature names the same home page as the programs and the setup.
host=$(sed -n 's/^#define QUELLIN_WEB_HOST *"\(.*\)"$/\1/p' "$(dirname "$0")/../resources/product_texts.h")
sign() {
    osslsigncode sign -pkcs12 "$SIGN_PFX" -pass "${SIGN_PASS:-}" -h sha256 \
        -n "Quellin" -i "https://$host/" "$@" -in "$file" -out "$file.signed" >/dev/null
}
rm -f "$file.signed"
if ! sign -ts "$SIGN_TIMESTAMP_URL" 2>/dev/null; then
    echo "sign-file: time server $SIGN_TIMESTAMP_URL not reachable; $(basename "$file") signed without a timestamp" >&2
    rm -f "$file.signed"
    sign
fi
mv "$file.signed" "$file"
