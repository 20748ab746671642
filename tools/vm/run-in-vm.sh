#!/bin/bash
# Boot the cached guest, run SHARE_DIR/job.sh inside it, print its output.
#
# Usage: run-in-vm.sh SHARE_DIR TIMEOUT_SECONDS
#   SHARE_DIR        host dir with job.sh; mounted at /share in the guest (9p)
#   TIMEOUT_SECONDS  wall-clock limit for boot + job + power-off
# Env:
#   QUELLIN_*             every such variable except QUELLIN_VM_* is exported
#                         to job.sh (e.g. QUELLIN_WINVER=winxp)
#   QUELLIN_VM_CACHE      image cache root (see build-image.sh)
#   QUELLIN_VM_MEM/_SMP   guest memory in MB (2048) / CPUs (2)
#   QUELLIN_VM_IMAGE_DIR  boot this image dir instead of the cached one
#   QUELLIN_VM_PERSIST=1  let the guest write to that image (build-image.sh
#                         uses it to bake the Wine prefix; needs _IMAGE_DIR)
# Exit: the job's exit code when it finished; otherwise
#   124 timed out, 125 guest never mounted the share (did not boot),
#   126 guest booted but left no exit code (init failed, crash), 2 usage.
# Files left in SHARE_DIR: job.log (job output), .vm/exit-code,
#   .vm/console.log (guest serial console: kernel + quellin-init messages).
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

[ $# -eq 2 ] || { echo "usage: $0 SHARE_DIR TIMEOUT_SECONDS" >&2; exit 2; }
[ -d "$1" ] || vm_die "share dir not found: $1" 2
share=$(cd "$1" && pwd)
timeout_s=$2
case "$timeout_s" in ''|*[!0-9]*) vm_die "TIMEOUT_SECONDS must be a whole number: $timeout_s" 2 ;; esac
[ -f "$share/job.sh" ] || vm_die "$share/job.sh not found" 2
# qemu splits -virtfs options on commas.
case "$share" in *,*) vm_die "share path must not contain a comma: $share" 2 ;; esac

vm_ensure_host_tools qemu-system-x86_64:qemu-system-x86 timeout:coreutils

snapshot=on
if [ -n "${QUELLIN_VM_IMAGE_DIR:-}" ]; then
    img=$QUELLIN_VM_IMAGE_DIR
    [ "${QUELLIN_VM_PERSIST:-0}" = 1 ] && snapshot=off
else
    [ "${QUELLIN_VM_PERSIST:-0}" = 1 ] && vm_die "QUELLIN_VM_PERSIST=1 needs QUELLIN_VM_IMAGE_DIR; the cached image is never written" 2
    img=$(bash "$VM_DIR/build-image.sh" | tail -n 1) || vm_die "no guest image (build-image.sh failed)" 125
fi
for f in rootfs.img vmlinuz initrd.img; do
    [ -f "$img/$f" ] || vm_die "image incomplete, missing $img/$f" 125
done

# Clear what a previous run left, so stale results can never be read as ours.
mkdir -p "$share/.vm"
rm -f "$share/.vm/booted" "$share/.vm/exit-code" "$share/.vm/exit-code.tmp" "$share/job.log"
console="$share/.vm/console.log"
: > "$console"

{
    echo "# written by run-in-vm.sh: host QUELLIN_* variables for job.sh"
    while IFS= read -r name; do
        case "$name" in QUELLIN_VM_*) continue ;; esac
        val=${!name}
        printf "export %s='%s'\n" "$name" "${val//\'/\'\\\'\'}"
    done < <(compgen -e | grep '^QUELLIN_' || true)
} > "$share/.vm/env.sh"

# smap=off: with plain "-cpu max", QEMU 7.2 TCG makes the guest kernel oops
# on the 32-bit iret path with SMAP, which kills every 32-bit Wine process.
# mitigations=off: page-table isolation & co. only slow TCG down; nothing in
# this guest needs protecting from itself. cryptomgr.notests: the kernel
# crypto self-tests are pure CPU work, slow under TCG, and prove nothing here.
# panic=1 + -no-reboot: if our init dies, or the initramfs gives up, the
# guest stops instead of sitting at a rescue shell until the timeout.
# (No rootdelay=: the Debian initramfs sleeps that long unconditionally.)
append="root=/dev/vda rw console=ttyS0 init=$VM_GUEST_INIT panic=1 mitigations=off cryptomgr.notests quiet loglevel=3"
qemu=(qemu-system-x86_64
    -machine accel=tcg -cpu max,smap=off
    -m "${QUELLIN_VM_MEM:-2048}" -smp "${QUELLIN_VM_SMP:-2}"
    -nographic -no-reboot -nic none
    -kernel "$img/vmlinuz" -initrd "$img/initrd.img" -append "$append"
    -drive "file=$img/rootfs.img,format=raw,if=virtio,snapshot=$snapshot"
    -virtfs "local,path=$share,mount_tag=$VM_SHARE_TAG,security_model=none,id=share0")

vm_log "booting guest (timeout ${timeout_s}s, snapshot=$snapshot) for $share/job.sh"
t0=$(date +%s)
# timeout(1) gives qemu its own process group, so Ctrl-C would not reach it;
# run it as a named child and forward INT/TERM ourselves.
timeout --kill-after=15 "$timeout_s" "${qemu[@]}" > "$console" 2>&1 < /dev/null &
qpid=$!
trap 'kill -TERM "$qpid" 2>/dev/null; wait "$qpid" 2>/dev/null; vm_die "interrupted" 130' INT TERM
qrc=0
wait "$qpid" || qrc=$?
trap - INT TERM
elapsed=$(($(date +%s) - t0))

echo "----- job output ($share/job.log) -----"
[ -f "$share/job.log" ] && cat "$share/job.log"
echo "----- end of job output -----"

show_console() {
    vm_log "last lines of the guest console ($console):"
    tail -n 40 "$console" | sed 's/^/    /' >&2
}

if [ -f "$share/.vm/exit-code" ]; then
    rc=$(tr -d ' \n' < "$share/.vm/exit-code")
    case "$rc" in ''|*[!0-9]*) show_console; vm_die "garbled exit code '$rc' from the guest" 126 ;; esac
    [ $qrc = 0 ] || vm_log "note: qemu exit status $qrc after the job finished"
    vm_log "guest job exited with $rc (boot+job+poweroff ${elapsed}s)"
    exit "$rc"
fi

if [ $qrc = 124 ] || [ $qrc = 137 ]; then
    show_console
    if [ -f "$share/.vm/booted" ]; then
        vm_die "TIMEOUT: job did not finish within ${timeout_s}s" 124
    fi
    vm_die "TIMEOUT: guest did not even mount the share within ${timeout_s}s" 124
fi
show_console
if [ ! -f "$share/.vm/booted" ]; then
    vm_die "guest did not boot (no share mount; qemu exit $qrc after ${elapsed}s)" 125
fi
vm_die "guest stopped without an exit code (qemu exit $qrc after ${elapsed}s)" 126
