#!/usr/bin/env bash
# Hot key -> complete PNG on a headless 1920 x 1080 sway, side by side with
# grim writing the same picture (Debian's grim writes no JPEG): the running tool's own
# binding, an exported binding (`bindsym ... exec lmgrab --capture 1`, which
# asks the running tool), and grim as a process. Each round times one of
# each in turn (paired); the keys are typed with wtype, whose own time is in
# the hot-key figures. Runs sway as nobody under root (sway refuses root).
#   bench/compare-on-sway.sh [BUILD_DIR]   (default: build)   RUNS=30
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
source "$root/bench/timing.sh"
work="$(mktemp -d)"
trap 'kill ${tool:-} ${sway:-} 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -m 700 "$work/run"
mkdir "$work/shots" "$work/bin"
cp "$build/bin/lmgrab" "$build/bin/lmgrab-desktop.so" "$build/bin/lgprofile" "$work/bin/"
convert -size 1920x1080 plasma:fractal -seed 7 "$work/background.png"
cat > "$work/sway.conf" <<CONF
output HEADLESS-1 resolution 1920x1080 bg $work/background.png stretch
bindsym Ctrl+F8 exec $work/bin/lmgrab --capture 1
CONF
printf '[Software\\Orvane\\Lmgrab]\r\nCount=2\r\n[Software\\Orvane\\Lmgrab\\Action1]\r\nName=Screen\r\nModifiers=2\r\nVirtualKey=116\r\nSaveTo=1\r\nGrabMethod=0\r\nExtension=.png\r\nPixelFormat=6\r\n[Software\\Orvane\\Lmgrab\\Action2]\r\nName=Jpeg\r\nModifiers=2\r\nVirtualKey=117\r\nSaveTo=1\r\nGrabMethod=0\r\nExtension=.jpg\r\nQuality=75\r\nPixelFormat=6\r\n' \
    > "$work/screen.lgp"
as_user=()
if [ "$(id -u)" = 0 ]; then
    chown -R nobody:nogroup "$work"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
export HOME="$work" XDG_RUNTIME_DIR="$work/run" LUMAGRABBER_REGISTRY="$work/store.db" \
    XDG_PICTURES_DIR="$work/shots" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
"${as_user[@]}" sway -c "$work/sway.conf" >/dev/null 2>&1 &
sway=$!
wait_for 'ls "$work"/run/sway-ipc.*.sock >/dev/null 2>&1 && ls "$work"/run/wayland-? >/dev/null 2>&1'
SWAYSOCK=$(ls "$work"/run/sway-ipc.*.sock)
WAYLAND_DISPLAY=$(basename "$(ls "$work"/run/wayland-?)")
export SWAYSOCK WAYLAND_DISPLAY
sleep 1  # the background drawn
"${as_user[@]}" "$work/bin/lgprofile" load "$work/screen.lgp"
"${as_user[@]}" "$work/bin/lmgrab" /start 2>"$work/tool.log" >/dev/null &
tool=$!
wait_for 'grep -q "actions read" "$work/tool.log"'

# Nanoseconds from typing the keys to a whole file in shots/.
keyed() {
    rm -f "$work"/shots/*
    local start=$(now)
    "${as_user[@]}" wtype "$@"
    picture_since "$start"
}
grimmed() {
    rm -f "$work"/shots/*
    local start=$(now)
    "${as_user[@]}" grim -t png "$@" "$work/shots/grim.png"
    echo $(( $(now) - start ))
}
own=() exported=() grim=() grim1=() jpeg=()
for ((i = 0; i < ${RUNS:-30}; i++)); do
    own+=("$(keyed -M ctrl -k F5 -m ctrl)")
    exported+=("$(keyed -M ctrl -k F8 -m ctrl)")
    jpeg+=("$(keyed -M ctrl -k F6 -m ctrl)")
    grim+=("$(grimmed)")
    grim1+=("$(grimmed -l 1)")
done
echo "median over ${RUNS:-30} rounds, 1920x1080 PNG on headless sway (pixman):"
echo "  hot key bound by the running tool -> file:  $(median "${own[@]}")  (paired ratio to grim $(ratio own grim))"
echo "  exported binding (lmgrab --capture) -> file: $(median "${exported[@]}")  (paired ratio to grim $(ratio exported grim))"
echo "  grim -t png as a process (level 6):         $(median "${grim[@]}")"
echo "  grim -t png -l 1 (lmgrab's level):           $(median "${grim1[@]}")"
echo "  hot key -> JPEG q75 (grim here writes none): $(median "${jpeg[@]}")"
echo "  paired ratios to grim -l 1: own key $(ratio own grim1), exported binding $(ratio exported grim1)"
