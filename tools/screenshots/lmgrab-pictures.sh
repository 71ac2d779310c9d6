#!/usr/bin/env bash
# Makes the README's pictures of the capture tool on a desktop of its own
# (Xvfb, openbox, trayer): the overlay while a rectangle is drawn, and the
# tray icon's menu.
#   tools/screenshots/lmgrab-pictures.sh [BUILD_DIR] [OUTPUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
bin="$(cd "${1:-$root/build}" && pwd)/bin"
out="$(mkdir -p "${2:-$root/docs/screenshots}" && cd "${2:-$root/docs/screenshots}" && pwd)"
work="$(mktemp -d)"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x640x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
until [ -s "$work/displayfd" ]; do sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/displayfd")"
export LUMAGRABBER_REGISTRY="$work/registry.db" XDG_RUNTIME_DIR="$work" XDG_PICTURES_DIR="$work/shots"
export DBUS_SESSION_BUS_ADDRESS="unix:path=/dev/null/no-session-bus"

snap() { xwd -root -silent | convert xwd:- "$@"; }

openbox >/dev/null 2>&1 & pids+=($!)
sleep 1
convert -size 16x16 xc:'#3a6ea5' "$work/background.png"
display -window root "$work/background.png" || true  # sets the background, yet exits 1
trayer --edge top --align right --widthtype request --height 24 --tint 0xdddddd --transparent true \
    --alpha 0 >/dev/null 2>&1 & pids+=($!)
xlogo -geometry 300x200+120+140 >/dev/null 2>&1 & pids+=($!)
xclock -geometry 160x160+520+220 >/dev/null 2>&1 & pids+=($!)
sleep 1

printf '[Software\\Orvane\\Lmgrab]\r\nCount=2\r\n[Software\\Orvane\\Lmgrab\\Action1]\r\nName=Area to file\r\nModifiers=2\r\nVirtualKey=116\r\nSaveTo=1\r\nGrabMethod=4\r\nExtension=.png\r\n[Software\\Orvane\\Lmgrab\\Action2]\r\nName=Window to JPEG\r\nModifiers=2\r\nVirtualKey=117\r\nSaveTo=1\r\nGrabMethod=1\r\nExtension=.jpg\r\nQuality=75\r\n' \
    > "$work/pictures.lgp"
"$bin/lgprofile" load "$work/pictures.lgp"
"$bin/lmgrab" /start 2>/dev/null & pids+=($!)
sleep 1.5

# The overlay, halfway through a drag.
xdotool key ctrl+F5
sleep 0.8
xdotool mousemove 160 170 mousedown 1 mousemove 300 250 mousemove 470 380
sleep 0.4
snap "$out/lmgrab-overlay.png"
xdotool key Escape mouseup 1
sleep 0.5

# The tray icon's menu, opened with the right button.
icon=$(xwininfo -root -tree | awk '/"panel"/ {p=1} p && !done && /\("lmgrab" "lmgrab"\)/ {print $1; done=1}')
xdotool mousemove --window "$icon" 10 10 click 3 || { echo "no tray icon" >&2; exit 1; }
sleep 0.8
snap -crop 360x170+664+0 +repage "$out/lmgrab-tray-menu.png"
xdotool key Escape
echo "Wrote $out/lmgrab-overlay.png and $out/lmgrab-tray-menu.png"
