#!/bin/bash
# Self-test of the VM harness with stand-in 32-bit programs, independent of
# the real test driver: the harness must pass a passing driver and fail every
# kind of broken one (failed test, crash, lying exit code, hang, no boot).
# Slow (one guest boot per case, ~30 s each under TCG); run it after changing
# anything in tools/vm/, not as part of every `make test`.
#
# Usage: tools/vm/selftest/selftest.sh [CASE...]
#   cases: pass fail crash liar hang gui winxp noboot badkernel (default: all)
# Exit: 0 if every case behaved as expected, 1 otherwise.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
vm=$(cd "$here/.." && pwd)
repo=$(cd "$vm/../.." && pwd)
out=$repo/build/vm-selftest
mkdir -p "$out/dist-x86"
command -v i686-w64-mingw32-gcc > /dev/null ||
    { echo "selftest: i686-w64-mingw32-gcc missing (apt-get install gcc-mingw-w64-i686)" >&2; exit 1; }

for p in pass fail crash liar hang; do
    i686-w64-mingw32-gcc -O1 -Wall -o "$out/$p.exe" "$here/$p.c" || exit 1
done
i686-w64-mingw32-gcc -O1 -Wall -mwindows -o "$out/gui.exe" "$here/gui.c" || exit 1
echo "stand-in dist file" > "$out/dist-x86/README.txt"

cases=${*:-pass fail crash liar hang gui winxp noboot badkernel}
bad=0
# expect NAME WANT_RC [ENV=VALUE...] -- EXE
expect() {
    local name=$1 want=$2; shift 2
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    local log="$out/case-$name.log" t0 rc
    t0=$(date +%s)
    env "${envs[@]}" QUELLIN_VM_SHARE="$out/share-$name" \
        bash "$vm/test-x86.sh" "$out/dist-x86" "$1" "$here/session-standin.sh" > "$log" 2>&1
    rc=$?
    if { [ "$want" = 0 ] && [ $rc = 0 ]; } || { [ "$want" != 0 ] && [ $rc != 0 ]; }; then
        echo "selftest: ok   $name (exit $rc, $(($(date +%s) - t0))s)"
    else
        echo "selftest: BAD  $name (exit $rc, wanted $([ "$want" = 0 ] && echo 0 || echo non-zero)); log:"
        sed 's/^/    /' "$log"
        bad=1
    fi
}

for c in $cases; do
    case $c in
        pass) expect pass 0 -- "$out/pass.exe" ;;
        fail) expect fail 1 -- "$out/fail.exe" ;;
        crash) expect crash 1 -- "$out/crash.exe" ;;
        liar) expect liar 1 -- "$out/liar.exe" ;;
        hang) expect hang 1 QUELLIN_VM_TIMEOUT=60 -- "$out/hang.exe" ;;
        gui) expect gui 0 -- "$out/gui.exe" ;;
        winxp) expect winxp 0 QUELLIN_WINVER=winxp QUELLIN_EXPECT_WINVER=5.1 -- "$out/gui.exe" ;;
        noboot|badkernel)
            # A guest that cannot boot must be reported, never passed.
            # noboot: real kernel and initrd, but a blank disk (no root fs);
            # badkernel: a "kernel" qemu refuses to load at all.
            img=$(bash "$vm/build-image.sh" | tail -n 1) || { bad=1; continue; }
            broken="$out/broken-$c"
            rm -rf "$broken"; mkdir -p "$broken"
            cp "$img/initrd.img" "$broken/initrd.img"
            if [ $c = noboot ]; then
                cp "$img/vmlinuz" "$broken/vmlinuz"
                truncate -s 64M "$broken/rootfs.img"
            else
                ln -s "$img/rootfs.img" "$broken/rootfs.img"
                head -c 65536 /dev/urandom > "$broken/vmlinuz"
            fi
            share="$out/share-$c"
            rm -rf "$share"; mkdir -p "$share"
            echo 'echo "SUMMARY 1 passed, 0 failed"' > "$share/job.sh"
            t0=$(date +%s)
            QUELLIN_VM_IMAGE_DIR="$broken" bash "$vm/run-in-vm.sh" "$share" 120 \
                > "$out/case-$c.log" 2>&1
            rc=$?
            if [ $rc = 125 ] || [ $rc = 124 ]; then
                echo "selftest: ok   $c (run-in-vm exit $rc, $(($(date +%s) - t0))s)"
            else
                echo "selftest: BAD  $c (run-in-vm exit $rc, wanted 125/124)"
                sed 's/^/    /' "$out/case-$c.log"
                bad=1
            fi
            ;;
        *) echo "selftest: unknown case $c" >&2; bad=1 ;;
    esac
done
[ $bad = 0 ] && echo "selftest: all cases behaved" || echo "selftest: FAILED"
exit $bad
