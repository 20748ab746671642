#!/bin/bash
# Build (once) and cache the Debian 12 guest that runs our 32-bit Windows
# programs under Wine. We need a VM at all because the host kernel here has
# no 32-bit x86 support ("Exec format error" from wine32), while an amd64
# guest kernel under QEMU/TCG runs i386 code fine.
#
# Usage: build-image.sh [--print-dir] [--force]
#   --print-dir  print the image directory for the current inputs and exit
#   --force      rebuild even if a cached image exists
# Env:   QUELLIN_VM_CACHE   cache root (default /var/cache/quellin-vm)
#        QUELLIN_VM_MIRROR  Debian mirror (default http://deb.debian.org/debian)
# Exit:  0 image ready (path printed on stdout), non-zero on any failure.
#
# The cache key hashes this script, guest-init.sh, guest-packages.txt and
# the guest paths from common.sh, so editing any of them gives a fresh image.
# Everything is built in a temp dir next to the final one and renamed into
# place last: a build that is interrupted never leaves something that looks
# usable.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

MIRROR=${QUELLIN_VM_MIRROR:-http://deb.debian.org/debian}
SUITE=bookworm
force=0
case "${1:-}" in
    --print-dir) vm_image_dir; exit 0 ;;
    --force) force=1 ;;
    "") ;;
    *) echo "usage: $0 [--print-dir|--force]" >&2; exit 2 ;;
esac

key=$(vm_image_key)
final="$VM_CACHE/img-$key"
if [ $force = 0 ] && vm_image_ready "$final"; then
    echo "$final"
    exit 0
fi

[ "$(id -u)" = 0 ] || vm_die "building the guest image needs root (debootstrap, chroot); no cached image at $final"
vm_ensure_host_tools qemu-system-x86_64:qemu-system-x86 debootstrap:debootstrap \
    mkfs.ext4:e2fsprogs flock:util-linux timeout:coreutils

mkdir -p "$VM_CACHE" "$VM_CACHE/debs/debootstrap" "$VM_CACHE/debs/apt/partial"

# Two builds at once (parallel make, two shells) would fight over the cache;
# the second one waits and then finds the image ready.
exec 9>"$VM_CACHE/.lock"
flock -w 3600 9 || vm_die "timed out waiting for $VM_CACHE/.lock"
if [ $force = 0 ] && vm_image_ready "$final"; then
    echo "$final"
    exit 0
fi

# Remove a tree we built, never following into anything mounted inside it.
# A build killed with SIGKILL can leave the chroot's /proc mounted; unmount
# such leftovers first, and let --one-file-system guard against the rest.
cleanup_tree() {
    local dir=$1 m
    [ -e "$dir" ] || return 0
    for m in $(awk -v d="$dir/" 'index($2, d) == 1 { print $2 }' /proc/self/mounts | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
    done
    if awk -v d="$dir/" 'index($2, d) == 1 { found = 1 } END { exit !found }' /proc/self/mounts; then
        vm_log "WARNING: mounts remain under $dir; leaving it alone"
        return 0
    fi
    rm -rf --one-file-system "$dir"
}

# Leftovers of interrupted builds (we hold the lock, so none is live).
for stale in "$VM_CACHE"/tmp.*; do
    [ -e "$stale" ] || continue
    vm_log "removing leftover $stale"
    cleanup_tree "$stale"
done

tmp="$VM_CACHE/tmp.$key.$$"
root="$tmp/root"
log="$tmp/build.log"
mkdir -p "$root"
done_ok=0
on_exit() {
    local rc=$?
    if [ $done_ok = 0 ]; then
        cp -f "$log" "$VM_CACHE/last-build.log" 2>/dev/null || true
        vm_log "image build FAILED (rc=$rc); last lines of $VM_CACHE/last-build.log:"
        tail -n 40 "$log" >&2 2>/dev/null || true
        cleanup_tree "$tmp"
    fi
}
trap on_exit EXIT

# run_bounded SECONDS CMD...: run CMD under timeout(1) as a background child
# we can name. timeout puts CMD in its own process group, so a Ctrl-C at the
# terminal would not reach it; our INT/TERM trap forwards the signal instead
# and waits for it to stop before the EXIT trap unmounts and deletes.
child=
run_bounded() {
    local secs=$1 rc=0; shift
    timeout "$secs" "$@" &
    child=$!
    wait "$child" || rc=$?
    child=
    return $rc
}
interrupted() {
    if [ -n "$child" ]; then
        kill -TERM "$child" 2>/dev/null
        wait "$child" 2>/dev/null
    fi
    exit 130
}
trap interrupted INT TERM

t_start=$(date +%s)
t_step=$t_start
step() {
    local now; now=$(date +%s)
    vm_log "[$((now - t_start))s] $*"
    echo "=== $* ===" >> "$log"
    t_step=$now
}

packages=$(sed 's/#.*//' "$VM_DIR/guest-packages.txt" | tr -s ' \t\n' ' ')
vm_log "building guest image $key in $tmp (log: $log)"

step "debootstrap $SUITE minbase"
run_bounded 1800 debootstrap --variant=minbase --arch=amd64 \
    --cache-dir="$VM_CACHE/debs/debootstrap" \
    "$SUITE" "$root" "$MIRROR" >> "$log" 2>&1

# Never start daemons inside the build chroot.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
# Docs, man pages and translations are a few hundred MB we never read.
cat > "$root/etc/dpkg/dpkg.cfg.d/01-quellin-slim" <<'EOF'
path-exclude=/usr/share/doc/*
path-include=/usr/share/doc/*/copyright
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
path-exclude=/usr/share/locale/*
EOF
cat > "$root/etc/apt/apt.conf.d/99quellin" <<'EOF'
APT::Install-Recommends "false";
APT::Install-Suggests "false";
Acquire::Retries "3";
Dpkg::Use-Pty "0";
EOF
echo "deb $MIRROR $SUITE main" > "$root/etc/apt/sources.list"
# The default initramfs (MODULES=most, ~35 MB) takes ~5 s just to unpack
# under TCG, plus udev probing hundreds of modules; our guest only ever needs
# a virtio disk with ext4. Written before the kernel is installed so its
# postinst builds the small one; modules.d is not a conffile, so no prompt.
mkdir -p "$root/etc/initramfs-tools/conf.d" "$root/usr/share/initramfs-tools/modules.d"
printf 'MODULES=list\nRESUME=none\n' > "$root/etc/initramfs-tools/conf.d/quellin"
printf '%s\n' virtio_pci virtio_blk ext4 crc32c_generic \
    > "$root/usr/share/initramfs-tools/modules.d/quellin"

# in_root SECONDS CMD...: run CMD in the build chroot, bounded in time.
in_root() {
    local secs=$1; shift
    run_bounded "$secs" chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
mount -t proc proc "$root/proc"
# Keep downloaded .debs across rebuilds: editing a guest script then only
# costs the unpack, not the download.
mount --bind "$VM_CACHE/debs/apt" "$root/var/cache/apt/archives"

step "apt-get install ($packages)"
in_root 60 dpkg --add-architecture i386
in_root 600 apt-get update -q >> "$log" 2>&1
in_root 2400 apt-get install -y -q $packages >> "$log" 2>&1
# Every package must have configured; an i386 maintainer script that needs
# to execute 32-bit code would fail on this host and must not go unnoticed.
if in_root 60 dpkg --audit 2>&1 | grep -q .; then
    in_root 60 dpkg --audit >> "$log" 2>&1
    vm_die "some packages did not configure in the chroot (see log)"
fi
in_root 60 dpkg-query -W -f '${Package}:${Architecture} ${Version}\n' \
    linux-image-amd64 wine wine32:i386 wine64 xvfb > "$tmp/versions.txt"

umount "$root/var/cache/apt/archives"
in_root 60 apt-get clean
rm -rf "$root"/var/lib/apt/lists/*
umount "$root/proc"

step "installing quellin-init"
install -D -m 755 "$VM_DIR/guest-init.sh" "$root$VM_GUEST_INIT"
mkdir -p "$root$VM_GUEST_SHARE" "$(dirname "$root$VM_GUEST_WINEPREFIX")"
echo quellin-vm > "$root/etc/hostname"
printf '127.0.0.1\tlocalhost quellin-vm\n::1\tlocalhost ip6-localhost\n' > "$root/etc/hosts"

kver=$(cd "$root/boot" && ls vmlinuz-* | sed 's/^vmlinuz-//' | sort -V | tail -n 1)
[ -n "$kver" ] && [ -f "$root/boot/initrd.img-$kver" ] || vm_die "no kernel/initrd in the guest /boot"
cp "$root/boot/vmlinuz-$kver" "$tmp/vmlinuz"
cp "$root/boot/initrd.img-$kver" "$tmp/initrd.img"

step "mkfs.ext4 -d (no loop mount needed)"
used_mb=$(du -sm --one-file-system "$root" | cut -f1)
# Headroom for the Wine prefix and for what jobs write; the file is sparse,
# so unused space costs nothing on the host.
img_mb=$((used_mb * 12 / 10 + 2048))
truncate -s "${img_mb}M" "$tmp/rootfs.img"
mkfs.ext4 -q -F -L quellin-root -m 0 -d "$root" "$tmp/rootfs.img" >> "$log" 2>&1
cleanup_tree "$root"

# First boot: create the 32-bit Wine prefix once, so each test run doesn't
# pay the ~1 min wineboot under TCG. This boot writes to the image (no
# snapshot); runs later always use a throw-away overlay.
step "first boot: creating the win32 Wine prefix"
prep="$tmp/prep-share"
mkdir -p "$prep"
cat > "$prep/job.sh" <<'EOF'
set -eu
up() { cut -d' ' -f1 /proc/uptime; }
echo "prefix: start at $(up)s"
# wineboot behaves differently without a display (no X11 driver setup), so
# create the prefix the same way jobs will use it: under an X server.
Xvfb :90 -screen 0 1024x768x24 -nolisten tcp > /tmp/xvfb.log 2>&1 &
xpid=$!
i=0
until xdpyinfo -display :90 > /dev/null 2>&1; do
    i=$((i + 1)); [ $i -lt 150 ] || { echo "Xvfb did not start"; cat /tmp/xvfb.log; exit 1; }
    sleep 0.2
done
export DISPLAY=:90
wine wineboot --init
wineserver -w
echo "prefix: wineboot done at $(up)s"
# A crashing program must fail the run quickly, with a backtrace in the log,
# instead of waiting behind winedbg's crash dialog until the job times out.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
wineserver -w
grep -qi '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" || { echo "crash dialog still on"; exit 1; }
grep -q '^#arch=win32' "$WINEPREFIX/system.reg" || { echo "prefix is not win32"; exit 1; }
[ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || { echo "prefix has syswow64 (not win32)"; exit 1; }
wine cmd /c ver
wineserver -w
kill "$xpid" 2>/dev/null || true
du -sh "$WINEPREFIX"
echo "prefix: ok at $(up)s"
EOF
QUELLIN_VM_IMAGE_DIR="$tmp" QUELLIN_VM_PERSIST=1 \
    bash "$VM_DIR/run-in-vm.sh" "$prep" 1200 >> "$log" 2>&1 ||
    vm_die "first boot (Wine prefix creation) failed; see log"
cp "$prep/job.log" "$tmp/prefix.log"
grep '^prefix:' "$tmp/prefix.log" >&2 || true
cleanup_tree "$prep"

step "finishing"
{
    echo "key=$key"
    echo "built=$(date -u +%Y-%m-%dT%H:%M:%SZ)"
    echo "build_seconds=$(($(date +%s) - t_start))"
    echo "kernel=$kver"
    cat "$tmp/versions.txt"
} > "$tmp/image.info"
touch "$tmp/READY"
sync
[ ! -e "$final" ] || cleanup_tree "$final"
mv "$tmp" "$final"
done_ok=1

# Images for older inputs are ~3 GB each; keep only the current one.
for old in "$VM_CACHE"/img-*; do
    [ "$old" = "$final" ] || [ ! -d "$old" ] || { vm_log "pruning old image $old"; cleanup_tree "$old"; }
done
vm_log "image ready after $(($(date +%s) - t_start))s: $final ($(du -sh "$final" | cut -f1) on disk)"
echo "$final"
