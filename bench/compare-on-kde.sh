#!/usr/bin/env bash
# Hot key -> complete file on a virtual 1920 x 1080 KWin (Plasma's compositor,
# software OpenGL), beside KWin's picture alone: the same screenshot call
# read whole through its pipe by a small Python client, which encodes and
# writes nothing. KWin takes no typed keys from clients; kglobalaccel's
# invokeShortcut fires the shortcut as a press does (its dbus-send's time is
# in the hot-key figures). Each round times one of each in turn (paired).
# Needs KWin (scripts/install-kwin.sh).
#   bench/compare-on-kde.sh [BUILD_DIR]   (default: build)   RUNS=30
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
source "$root/bench/timing.sh"
work="$(mktemp -d)"
trap 'kill ${tool:-} ${kwin:-} ${bus:-} 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 700 "$work"
mkdir -p "$work/shots" "$work/data/applications"
cp /usr/bin/kwin_wayland "$work/"  # a copy: without the file capabilities a sandbox refuses
python=$(readlink -f /usr/bin/python3)
for program in "$build/bin/lmgrab" "$python"; do
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n' \
        "$(basename "$program")" "$program" > "$work/data/applications/$(basename "$program").desktop"
done
printf '[Software\\Orvane\\Lmgrab]\r\nCount=2\r\n[Software\\Orvane\\Lmgrab\\Action1]\r\nName=Screen\r\nModifiers=6\r\nVirtualKey=116\r\nSaveTo=1\r\nGrabMethod=0\r\nExtension=.png\r\nPixelFormat=6\r\n[Software\\Orvane\\Lmgrab\\Action2]\r\nName=Jpeg\r\nModifiers=6\r\nVirtualKey=117\r\nSaveTo=1\r\nGrabMethod=0\r\nExtension=.jpg\r\nQuality=75\r\nPixelFormat=6\r\n' \
    > "$work/screen.lgp"
cat > "$work/picture.py" <<'PY'
import dbus, os
r, w = os.pipe()
shot = dbus.Interface(dbus.SessionBus().get_object('org.kde.KWin', '/org/kde/KWin/ScreenShot2'),
                      'org.kde.KWin.ScreenShot2')
res = shot.CaptureWorkspace(dbus.Dictionary({'native-resolution': False}, signature='sv'),
                            dbus.types.UnixFd(w))
os.close(w)
left = int(res['stride']) * int(res['height'])
while left > 0:
    left -= len(os.read(r, min(left, 1 << 20)))
PY
export HOME="$work" XDG_RUNTIME_DIR="$work" LUMAGRABBER_REGISTRY="$work/store.db" \
    XDG_PICTURES_DIR="$work/shots"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
dbus-daemon --session --nofork --print-address=1 > "$work/bus" 2> /dev/null &
bus=$!
wait_for '[ -s "$work/bus" ]'
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")
XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" \
    LIBGL_ALWAYS_SOFTWARE=1 KWIN_COMPOSE=O2 \
    "$work/kwin_wayland" --virtual --width 1920 --height 1080 --socket wayland-bench > "$work/kwin.log" 2>&1 &
kwin=$!
wait_for '[ -S "$work/wayland-bench" ]'
export WAYLAND_DISPLAY=wayland-bench
wait_for 'dbus-send --session --print-reply --dest=org.kde.KWin /org/kde/KWin/ScreenShot2 org.freedesktop.DBus.Properties.Get string:org.kde.KWin.ScreenShot2 string:Version >/dev/null 2>&1'
"$build/bin/lgprofile" load "$work/screen.lgp"
"$build/bin/lmgrab" /start 2> "$work/tool.log" > /dev/null &
tool=$!
wait_for 'grep -q "actions read" "$work/tool.log"'

# Nanoseconds from firing the shortcut to a whole file in shots/.
fired() {
    rm -f "$work"/shots/*
    local start=$(now)
    dbus-send --session --dest=org.kde.kglobalaccel --type=method_call /component/lmgrab \
        org.kde.kglobalaccel.Component.invokeShortcut "string:$1"
    picture_since "$start"
}
captured() {
    rm -f "$work"/shots/*
    local start=$(now)
    "$build/bin/lmgrab" --capture 1 > /dev/null
    echo $(( $(now) - start ))
}
pictured() {
    local start=$(now)
    "$python" "$work/picture.py"
    echo $(( $(now) - start ))
}
png=() jpeg=() capture=() picture=()
for ((i = 0; i < ${RUNS:-30}; i++)); do
    png+=("$(fired Action1)")
    jpeg+=("$(fired Action2)")
    capture+=("$(captured)")
    picture+=("$(pictured)")
done
echo "median over ${RUNS:-30} rounds, 1920x1080 on a virtual KWin (llvmpipe):"
echo "  shortcut -> PNG file (level 1):           $(median "${png[@]}")  (paired ratio to the picture alone $(ratio png picture))"
echo "  shortcut -> JPEG q75 file:                $(median "${jpeg[@]}")  (paired ratio $(ratio jpeg picture))"
echo "  lmgrab --capture 1 (asks the tool) -> PNG: $(median "${capture[@]}")  (paired ratio $(ratio capture picture))"
echo "  KWin's picture alone, read by Python:     $(median "${picture[@]}")"
