#!/bin/sh
# Starts Quellbar (the x64 build: this machine cannot run 32-bit code) in a
# Wine virtual desktop with a taskbar: on your X display when DISPLAY is set,
# otherwise on a private Xvfb display. It runs until you choose "Exit" from
# its notification-area menu (or press Ctrl+C here).
set -eu
cd "$(dirname "$0")/.."
if [ -n "${DISPLAY:-}" ]; then
    export QUELLIN_KEEP_DISPLAY=1
    echo "Quellbar is starting in a Wine desktop window on $DISPLAY."
else
    echo "No DISPLAY: Quellbar runs on a private Xvfb display (see 'make screenshots' to look at it)."
fi
exec tests/wine/wine_session.sh --shell 'echo "display $DISPLAY"; "$WINE" dist/x64/Quellbar.exe'
