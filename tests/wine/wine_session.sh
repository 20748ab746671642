#!/bin/sh
# Runs one command inside a private Wine session: its own Xvfb display, a
# prefix of its own whose programs all open in one virtual desktop with a
# taskbar, and nothing left running afterwards, whatever the command did.
#
#   wine_session.sh PROGRAM.exe [ARGS...]     (a Windows program, run by Wine)
#   wine_session.sh --shell 'COMMANDS'        (shell commands; DISPLAY, WINE and
#                                              WINEPREFIX are set for them)
# Environment: WINE (default: Debian's wine64 loader), WINEPREFIX (default:
# build/wine-prefix of this checkout), QUELLIN_KEEP_DISPLAY=1 to reuse $DISPLAY.
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${WINE:=/usr/lib/wine/wine64}"
: "${WINEPREFIX:=$root/build/wine-prefix}"
export WINE WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installer prompts in a test prefix, and no menu entries on
# the Linux desktop for the shortcuts an installer under test creates.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Debian keeps wineserver beside the loader, off the PATH.
for wineserver_bin in "$(dirname "$(command -v "$WINE")")/wineserver" /usr/lib/wine/wineserver \
    /usr/lib/wine/wineserver32 /usr/lib/wine/wineserver64 wineserver; do
    command -v "$wineserver_bin" >/dev/null 2>&1 && break
done

xvfb_pid=
cleanup() {
    # Only what this session started: the prefix's own Wine processes
    # (the prefix is private to us) and our Xvfb.
    WINEPREFIX=$WINEPREFIX "$wineserver_bin" -k 2>/dev/null
    WINEPREFIX=$WINEPREFIX "$wineserver_bin" -w 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ -n "${display_file:-}" ] && rm -f "$display_file"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "${QUELLIN_KEEP_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    # Let Xvfb pick a free display number and tell us which.
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    i=0
    while [ ! -s "$display_file" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    [ -s "$display_file" ] || { echo "wine_session: Xvfb did not start" >&2; exit 1; }
    DISPLAY=:$(head -n1 "$display_file")
    export DISPLAY
fi

if [ ! -f "$WINEPREFIX/.quellin-ready" ]; then
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1
    # Every program of this prefix opens in one virtual desktop, which has
    # a taskbar with a notification area.
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    "$wineserver_bin" -w
    touch "$WINEPREFIX/.quellin-ready"
fi

if [ "$1" = --shell ]; then
    shift
    sh -c "$1"
else
    "$WINE" "$@"
fi
