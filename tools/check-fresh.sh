#!/bin/bash
# The README's commands as a new developer meets them: a stock Debian 12
# (a minbase chroot with only make, git and ca-certificates added), this
# checkout's commit cloned into it, then `make` and `make test-x64` as root.
# Prints how long each took and which failed; exits non-zero if one did.
#
# It runs the commit at HEAD, not the working tree: commit first.
# The stock tree is built once with debootstrap and kept in
# /var/cache/quellin-fresh (QUELLIN_FRESH_CACHE), with the packages apt
# downloads; each run works on a copy of it, removed when the run passes
# and kept for a look when it fails. It uses the host's Debian mirrors and
# apt proxy, and copies in the host's own CA certificates
# (/usr/local/share/ca-certificates): on a network that inspects TLS, npm
# inside would not trust the registry without them.
set -euo pipefail

CACHE=${QUELLIN_FRESH_CACHE:-/var/cache/quellin-fresh}
SUITE=bookworm
src=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$src" rev-parse HEAD)
say() { echo "check-fresh: $*" >&2; }
since() { local s=$(($(date +%s) - $1)); echo "$((s / 60)) min $((s % 60)) s"; }

[ "$(id -u)" = 0 ] || { say "needs root (debootstrap, chroot)"; exit 1; }
[ -z "$(git -C "$src" status --porcelain --untracked-files=no)" ] ||
    say "uncommitted changes are not part of the check; it runs $commit"
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap

# The Debian archives the host's apt reads (main, updates, security), and its proxy.
sources=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' 'Component: main' |
    awk -v s="$SUITE" '$2 == s || index($2, s "-") == 1' | sort -u)
mirror=$(awk -v s="$SUITE" '$2 == s { print $1; exit }' <<<"$sources")
mirror=${mirror:-http://deb.debian.org/debian/}
sources=${sources:-$mirror $SUITE}
eval "$(apt-config shell http_proxy Acquire::http::Proxy)"
[ -z "${http_proxy:-}" ] || export http_proxy

mkdir -p "$CACHE/debs/partial"
exec 9>"$CACHE/.lock"
flock -n 9 || { say "another check runs ($CACHE/.lock)"; exit 1; }

run="$CACHE/run"
root="$run/root"
log="$CACHE/last-run.log"
# Unmount what we mounted under the run's tree; a process left over from
# the tests (an Xvfb, a wineserver) would keep it busy, so stop those first.
unmount_all() {
    local p m
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
    done
    for m in $(awk -v d="$root/" 'index($2, d) == 1 { print $2 }' /proc/self/mounts | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
}
unmount_all
rm -rf --one-file-system "$run"

# The stock tree, named after what went into it.
key=$(echo "$SUITE $mirror make git ca-certificates" | sha256sum | cut -c1-12)
base="$CACHE/base-$key"
if [ ! -d "$base" ]; then
    say "building the stock Debian 12 tree from $mirror (log: $CACHE/debootstrap.log)"
    rm -rf --one-file-system "$base.tmp"
    start=$(date +%s)
    debootstrap --variant=minbase --include=make,git,ca-certificates --cache-dir="$CACHE/debs" \
        "$SUITE" "$base.tmp" "$mirror" > "$CACHE/debootstrap.log" 2>&1 ||
        { tail -n 20 "$CACHE/debootstrap.log" >&2; exit 1; }
    awk '{ print "deb " $1 " " $2 " main" }' <<<"$sources" > "$base.tmp/etc/apt/sources.list"
    [ -z "${http_proxy:-}" ] || echo "Acquire::http::Proxy \"$http_proxy\";" > "$base.tmp/etc/apt/apt.conf.d/80proxy"
    rm -rf "$base.tmp/var/cache/apt/archives"/*.deb
    mv "$base.tmp" "$base"
    say "stock tree built in $(since $start)"
fi

trap unmount_all EXIT
trap 'exit 130' INT TERM
mkdir -p "$run"
cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp -r /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
git clone -q --no-checkout "$src" "$root/root/quellin"
git -C "$root/root/quellin" checkout -q --detach "$commit"

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount --bind "$CACHE/debs" "$root/var/cache/apt/archives"

# in_root CMD: CMD in the checkout inside, as a root login shell would have it.
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 TERM=dumb sh -c "cd /root/quellin && $1"
}
in_root "update-ca-certificates >/dev/null 2>&1"

say "running $commit in $root (output: $log)"
: > "$log"
failed=
for cmd in "make" "make test-x64"; do
    [ -z "$failed" ] || { say "$cmd: not run"; continue; }
    start=$(date +%s)
    rc=0
    # In the background, so that a signal stops the check at once; the exit
    # trap then stops what still runs inside.
    (in_root "$cmd" 2>&1 | tee -a "$log") &
    wait $! || rc=$?
    if [ $rc = 0 ]; then result=passed; else result="FAILED (exit $rc)"; failed=1; fi
    say "$cmd: $result in $(since $start)"
done
in_root 'echo "Node.js $(node --version), npm $(npm --version)"; npm ls --prefix tests/site' >&2 2>/dev/null || true

unmount_all
trap - EXIT
if [ -n "$failed" ]; then
    say "FAILED; the tree is kept in $root, the output in $log"
    exit 1
fi
rm -rf --one-file-system "$run"
say "passed"
