#!/usr/bin/env bash
# Runs ./test in a fresh, minimal Debian 13 ("trixie") made with debootstrap
# from the archive this machine's apt sources name: a clone of this tree's
# HEAD, set up and tested inside as on a new machine, with KWin 6 and GNOME
# Shell 48 for the KDE and GNOME tests. Needs root.
#   scripts/test-in-debian13.sh [ROOT]
# Without ROOT the system lives in a new folder that is removed at the end;
# a ROOT given is kept and used again (the clone inside is always new).
set -euo pipefail
LG_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$LG_ROOT/scripts/chroot.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root: debootstrap and chroot need it." >&2
    exit 1
fi
keep=${1:+yes}
root=$(realpath -m "${1:-$(mktemp -d /var/tmp/lg-debian13.XXXXXX)}")
cleanup() {
    lg_unmount_chroot "$root"
    [ -n "$keep" ] || rm -rf --one-file-system "$root"
}
trap cleanup EXIT

lg_make_chroot trixie "$root"
lg_mount_chroot "$root"
rm -rf "$root/root/lumagrabber"
git clone -q --no-hardlinks "$LG_ROOT" "$root/root/lumagrabber"

echo "In Debian $(cat "$root/etc/debian_version"):"
env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 TERM=dumb CI="${CI:-}" \
    chroot "$root" /bin/bash -c 'cd /root/lumagrabber && scripts/install-kwin.sh && scripts/install-gnome.sh && ./test'
