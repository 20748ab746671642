#!/bin/sh
# Prints the release version, QUELLIN_VERSION in resources/product_texts.h,
# for the scripts and the Makefile that name files after it.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^#define QUELLIN_VERSION  *"\([^"]*\)".*/\1/p' "$root/resources/product_texts.h")
# Only what a file name, a URL path and the four numbers of a version block
# can all carry.
case "$version" in
    "" | *[!0-9.]* | .* | *. | *..*)
        echo "version.sh: no usable QUELLIN_VERSION in resources/product_texts.h: '$version'" >&2
        exit 1 ;;
esac
echo "$version"
