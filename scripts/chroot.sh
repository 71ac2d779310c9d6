# Shared by the scripts that try the project in a fresh Debian: makes a
# minimal system with debootstrap from the mirror this machine's own apt
# sources name, and mounts what programs inside need. Needs root.

# The first Debian archive (not its security archive) that apt here uses.
lg_debian_mirror() {
    local uri
    uri=$( (grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
            grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
                awk '{for (i = 2; i <= NF; ++i) if ($i !~ /^\[/) {print $i; break}}') |
        grep -v -- '-security' | head -n1)
    if [ -z "$uri" ]; then
        echo "No Debian archive in /etc/apt's sources to make a chroot from." >&2
        return 1
    fi
    echo "$uri"
}

# lg_make_chroot SUITE ROOT: a minimal SUITE in ROOT, kept when it is there.
lg_make_chroot() {
    local suite=$1 root=$2 mirror
    if [ -x "$root/bin/sh" ] && [ -e "$root/.lg-$suite" ]; then return 0; fi
    if ! command -v debootstrap >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap \
            >/dev/null
    fi
    mirror=$(lg_debian_mirror)
    mkdir -p "$root"
    # Its / is every user's: apt's own user and the tests' unprivileged one
    # (mktemp made it 0700).
    chmod 755 "$root"
    if ! debootstrap --variant=minbase --include=git,ca-certificates "$suite" "$root" "$mirror" \
            >"$root.debootstrap.log" 2>&1; then
        tail -n 20 "$root.debootstrap.log" >&2
        echo "debootstrap $suite from $mirror failed." >&2
        return 1
    fi
    rm -f "$root.debootstrap.log"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # Packages' services are not started inside.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    touch "$root/.lg-$suite"
}

# lg_mount_chroot ROOT: /proc, /sys, /dev and a private /dev/shm inside;
# lg_unmount_chroot undoes it (also after a partial mount).
lg_mount_chroot() {
    local root=$1
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --make-rslave "$root/sys"
    mount --rbind /dev "$root/dev"
    mount --make-rslave "$root/dev"
    mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
    mkdir -p "$root/run" "$root/tmp"
    mount -t tmpfs -o mode=755 run "$root/run"
}

lg_unmount_chroot() {
    local root=$1 point
    # Deepest first, so that nested mounts go before their parents.
    for point in $(awk -v r="$(realpath "$root")" '$2 == r || index($2, r "/") == 1 {print $2}' \
            /proc/mounts | sort -r); do
        umount -l "$point" 2>/dev/null || true
    done
}
