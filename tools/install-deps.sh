#!/bin/sh
# Installs what building and testing need on a fresh Debian 12 machine.
# As root it runs apt-get itself; otherwise it prints the line to run.
# With --site, also what the download site's test runs on: Node.js and npm
# (Debian's, unless the machine has its own), then the test's npm packages
# at the versions its lock file pins, into tests/site/node_modules (nothing
# global). Building needs no JavaScript runtime, so plain `make` skips them.
set -eu
site=
[ "${1:-}" = --site ] && site=1

packages="cmake make g++ libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xdotool imagemagick x11-utils
  nsis zip unzip p7zip-full osslsigncode openssl wixl msitools faketime
  python3-yaml python3-jsonschema python3-markdown-it chromium"

missing=
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Node.js is asked for by command, not by package: one installed from elsewhere brings
# its own npm, and its package conflicts with Debian's npm.
if [ -n "$site" ]; then
    # The pages in Japanese, Korean and Chinese are laid out and pictured in
    # their own script's glyphs, not in empty boxes.
    dpkg-query -W -f='${Status}' fonts-noto-cjk 2>/dev/null | grep -q "install ok installed" || missing="$missing fonts-noto-cjk"
    command -v node >/dev/null || missing="$missing nodejs"
    command -v npm >/dev/null || missing="$missing npm"
fi
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

[ -n "$site" ] || exit 0
# npm ci empties node_modules first: run it only when the lock file is newer
# than the last install's record of it.
dir=$(cd "$(dirname "$0")/.." && pwd)/tests/site
if [ ! "$dir/node_modules/.package-lock.json" -nt "$dir/package-lock.json" ]; then
    npm ci --prefix "$dir" --no-audit --no-fund
fi
