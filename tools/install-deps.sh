#!/bin/sh
# Installs what building and testing need on a fresh Debian 12 machine.
# As root it runs apt-get itself; otherwise it prints the line to run.
set -eu

packages="cmake make g++ libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xdotool imagemagick x11-utils
  nsis zip unzip p7zip-full osslsigncode openssl
  python3-yaml python3-jsonschema"

missing=
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

line="apt-get install -y --no-install-recommends$missing"
if [ "$(id -u)" != 0 ]; then
    echo "Missing packages. As root, run:"
    echo "  apt-get update && $line"
    exit 1
fi
echo "Installing:$missing"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive $line
