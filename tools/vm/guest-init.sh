#!/bin/sh
# PID 1 of the test guest (installed as /usr/local/sbin/quellin-init and
# started via init= on the kernel command line). There is no systemd in the
# image on purpose: a full boot costs tens of seconds under TCG, and all we
# need is "mount things, run one job, power off".
#
# Contract with the host (run-in-vm.sh):
#   share (9p tag "quellin") -> /share
#   /share/job.sh            run as root, cwd /share
#   /share/.vm/env.sh        optional, sourced first (QUELLIN_* pass-through)
#   /share/.vm/booted        written once the share is mounted
#   /share/job.log           job stdout+stderr
#   /share/.vm/exit-code     job exit status, written last
# If anything here goes wrong we power off without an exit-code file, and the
# host reports a failure rather than guessing.

PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export PATH

say() { echo "quellin-init: $*" > /dev/console 2>/dev/null || echo "quellin-init: $*"; }

poweroff_now() {
    # Anything the job left running (Xvfb, wineserver, ...) would keep files
    # open; kill it so the final sync really is final.
    kill -KILL -1 2>/dev/null
    sync
    umount /share 2>/dev/null
    mount -o remount,ro / 2>/dev/null
    sync
    say "powering off"
    echo o > /proc/sysrq-trigger
    # sysrq is asynchronous; never return from PID 1 (that would panic).
    while :; do sleep 1; done
}

# The initramfs normally moves /proc, /sys and /dev over already; mount them
# ourselves only if it did not, so this also works without an initramfs.
[ -r /proc/self/stat ] || mount -t proc proc /proc
[ -d /sys/kernel ] || mount -t sysfs sysfs /sys
[ -c /dev/null ] && [ -e /dev/vda ] || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620 devpts /dev/pts 2>/dev/null
mount -t tmpfs -o mode=1777 tmpfs /dev/shm 2>/dev/null
mount -t tmpfs -o mode=1777 tmpfs /tmp
mount -t tmpfs -o mode=755 tmpfs /run
mkdir -p /run/lock /tmp/.X11-unix
chmod 1777 /tmp/.X11-unix
echo quellin-vm > /proc/sys/kernel/hostname
# Some libraries resolve "localhost"; give them a loopback to talk to.
ip link set lo up 2>/dev/null || ifconfig lo 127.0.0.1 up 2>/dev/null

# No udev here, so load the 9p transport by hand.
modprobe -q 9pnet_virtio 2>/dev/null
modprobe -q 9p 2>/dev/null
mkdir -p /share
if ! mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=none quellin /share; then
    say "FATAL: cannot mount the host share (9p tag quellin)"
    poweroff_now
fi
mkdir -p /share/.vm
rm -f /share/.vm/exit-code
: > /share/.vm/booted
say "booted, share mounted ($(cut -d' ' -f1 /proc/uptime)s since kernel start)"

export HOME=/root USER=root LOGNAME=root SHELL=/bin/sh
export LANG=C.UTF-8 TERM=dumb
# A fixed 32-bit prefix baked into the image (see build-image.sh); runs boot
# from a throw-away overlay, so whatever a job does to it is forgotten.
export WINEPREFIX=/opt/quellin/wineprefix WINEARCH=win32
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export QUELLIN_SHARE=/share

if [ ! -f /share/job.sh ]; then
    say "FATAL: /share/job.sh missing"
    poweroff_now
fi
[ -f /share/.vm/env.sh ] && . /share/.vm/env.sh

say "running job.sh"
cd /share
# Straight into a file on the share, never through a pipe: Xvfb and
# wineserver inherit the job's stdout and would hold a pipe open forever.
sh /share/job.sh > /share/job.log 2>&1 < /dev/null
rc=$?
cd /
sync
echo "$rc" > /share/.vm/exit-code.tmp && mv /share/.vm/exit-code.tmp /share/.vm/exit-code
say "job.sh exited with $rc ($(cut -d' ' -f1 /proc/uptime)s since kernel start)"
poweroff_now
