#!/bin/sh
# Stand-in for tests/wine/wine_session.sh, used by selftest.sh to exercise the
# VM plumbing on its own: start a private Xvfb, run the driver under $WINE,
# stop everything, and exit with the driver's status.
# Usage: WINE=wine sh session-standin.sh DRIVER.exe [ARGS...]
set -u
: "${WINE:=wine}"
display=:42
Xvfb $display -screen 0 1024x768x24 -nolisten tcp > /tmp/standin-xvfb.log 2>&1 &
xpid=$!
i=0
until xdpyinfo -display $display > /dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -ge 150 ]; then
        echo "standin: Xvfb did not come up"; cat /tmp/standin-xvfb.log
        kill $xpid 2>/dev/null; exit 1
    fi
    sleep 0.2
done
export DISPLAY=$display
echo "standin: running $*"
"$WINE" "$@"
rc=$?
echo "standin: driver exited with $rc"
wineserver -k 2>/dev/null
kill $xpid 2>/dev/null
wait $xpid 2>/dev/null
exit $rc
