#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian 12 (debootstrap, as root)
# and runs the programs there against an Xvfb of the host.
#   scripts/check-package-in-chroot.sh [PACKAGE.deb] [ROOT_DIR]
set -euo pipefail
source "$(dirname "$0")/chroot.sh"
deb="$(realpath "${1:-build-package/lumagrabber_3.1.0_amd64.deb}")"
root="${2:-$(mktemp -d)}"
lg_make_chroot bookworm "$root"
cp "$deb" "$root/root/"
mkdir -p "$root/tmp/.X11-unix"
exec 3<> "$root/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
mount --bind /proc "$root/proc"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
trap 'kill $xpid; umount "$root/proc" "$root/tmp/.X11-unix"' EXIT
until [ -s "$root/displayfd" ]; do sleep 0.05; done
display=":$(head -n1 "$root/displayfd")"

chroot "$root" /bin/sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /root/$(basename "$deb")" >/dev/null
chroot "$root" /bin/bash -c "
set -e
export HOME=/root DISPLAY=$display XDG_RUNTIME_DIR=/root/run XDG_PICTURES_DIR=/root/shots
mkdir -p /root/run && chmod 700 /root/run
printf '[Software\\\\Orvane\\\\Lmgrab]\r\nCount=1\r\n[Software\\\\Orvane\\\\Lmgrab\\\\Action1]\r\nName=Screen\r\nModifiers=2\r\nVirtualKey=116\r\nSaveTo=1\r\nGrabMethod=0\r\nExtension=.tif\r\n' > /root/p.lgp
lgprofile load /root/p.lgp
lmgrab --check
lmgrab --capture 1
LUMAGRABBER_QUIT_AFTER_START=1 lumagrabber-config
echo 'The package works in a fresh Debian 12.'
"
