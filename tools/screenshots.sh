#!/bin/sh
# Drives Quellbar with a real pointer and writes pictures of it into docs/:
# the tray icon lit and hovered (enlarged), the open menu, the About window,
# and the setup's first two pages (its x64 twin; the shipped one is 32-bit);
# and, from headless Chromium, the download site's home page at a desktop's
# and a phone's width and its German and Japanese pages at a phone's.
# Positions are those of Wine's 1024x768 desktop with one notification icon.
set -eu
cd "$(dirname "$0")/.."
mkdir -p docs
node tests/site/screenshots.mjs dist/site docs
exec tests/wine/wine_session.sh --shell '
set -eu
"$WINE" dist/x64/Quellbar.exe &
shot() { import -window root /tmp/quellin-shot-$$.png; convert /tmp/quellin-shot-$$.png "$@"; rm -f /tmp/quellin-shot-$$.png; }
xdotool mousemove 500 300; sleep 3
shot -crop 64x28+960+740 +repage -scale 800% docs/tray-icon-lit.png
xdotool mousemove 1014 758; sleep 0.6
shot -crop 64x28+960+740 +repage -scale 800% docs/tray-icon-hovered.png
xdotool click 3; sleep 0.8
shot -crop 180x110+860+670 +repage docs/tray-menu.png
xdotool mousemove 960 738 click 1; sleep 1
shot -crop 345x286+339+221 +repage docs/about-window.png
xdotool mousemove 1014 758 sleep 0.3 click 3 sleep 0.8 mousemove 960 758 click 1
sleep 1
# The setup opens on the page that asks who Quellin is for; Enter goes on to
# the components page, where pointing at the shortcut component shows its
# description, which names the key.
"$WINE" build/release-x64/Quellin-'"$(tools/version.sh)"'-setup.exe &
sleep 4
shot -crop 584x386+219+191 +repage docs/setup-scope.png
xdotool key Return; sleep 1
xdotool mousemove 540 392; sleep 0.5
shot -crop 584x386+219+191 +repage docs/setup-components.png
# Cancel, and confirm.
xdotool key Escape; sleep 0.5; xdotool key Return; sleep 1
'
