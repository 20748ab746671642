#!/bin/sh
# Installs what building and testing need on a fresh Debian 12 machine.
# As root it runs apt-get itself; otherwise it prints the line to run. Then
# the site test's npm packages, at the versions its lock file pins, into
# tests/site/node_modules (nothing global).
set -eu

packages="cmake make g++ libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xdotool imagemagick x11-utils
  nsis zip unzip p7zip-full osslsigncode openssl wixl msitools faketime
  python3-yaml python3-jsonschema python3-markdown-it chromium"

missing=
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    line="apt-get install -y --no-install-recommends$missing"
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages. As root, run:"
        echo "  apt-get update && $line"
        exit 1
    fi
    echo "Installing:$missing"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $line
fi

# npm ci empties node_modules first: run it only when the lock file is newer
# than the last install's record of it.
site=$(cd "$(dirname "$0")/.." && pwd)/tests/site
if [ ! "$site/node_modules/.package-lock.json" -nt "$site/package-lock.json" ]; then
    command -v npm >/dev/null || { echo "install-deps: the site test needs Node.js 20 or later and npm" >&2; exit 1; }
    npm ci --prefix "$site" --no-audit --no-fund
fi
