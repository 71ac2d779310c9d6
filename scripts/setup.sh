# Shared by ./run and ./test: installs the Debian packages that are missing
# and builds into build/. Quiet when nothing is missing; the build's own
# output is shown only when it fails.
set -euo pipefail

LG_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LG_BUILD="$LG_ROOT/build"

LG_PACKAGES=(
    g++ cmake make pkg-config
    libsqlite3-dev
    googletest libgtest-dev libgmock-dev
    libbenchmark-dev
    qt6-base-dev fonts-liberation2
    clang libclang-rt-dev clang-format clang-tidy file dpkg-dev
    xvfb xdotool x11-utils openbox x11-apps imagemagick netpbm
    qt6-image-formats-plugins hyperfine scrot libx11-dev libxtst-dev libjpeg62-turbo-dev
    libcanberra-dev xclip dbus trayer
    libxrandr-dev libxi-dev x11-xserver-utils x11-xkb-utils weston xwayland libtiff-dev
    sway grim wtype jq qt6-wayland wl-clipboard libdbus-1-dev xdg-desktop-portal python3-dbus python3-gi
    libglib2.0-bin gnome-settings-daemon-common 'libkf6config-bin|libkf5config-bin' debootstrap
)

lg_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# A name "a|b" takes the first of the alternatives that this release has
# (Debian 13 has Plasma 6's tools where Debian 12 has Plasma 5's).
lg_install_packages() {
    local wanted=() pkg alt
    for pkg in "${LG_PACKAGES[@]}"; do
        local have=
        for alt in ${pkg//|/ }; do lg_installed "$alt" && have=1 && break; done
        [ -z "$have" ] && wanted+=("$pkg")
    done
    [ ${#wanted[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq >/dev/null
    local missing=()
    for pkg in "${wanted[@]}"; do
        for alt in ${pkg//|/ }; do
            if apt-cache show "$alt" >/dev/null 2>&1; then
                missing+=("$alt")
                continue 2
            fi
        done
        missing+=("${pkg%%|*}")  # none known: apt-get names the first
    done
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# lg_build PRESET: configures (cheap when nothing changed) and builds one of
# the trees named in CMakePresets.json.
lg_build() {
    local preset=$1
    local log="$LG_ROOT/build-$preset.log"
    if ! (cd "$LG_ROOT" && cmake --preset "$preset" && cmake --build --preset "$preset" -j "$(nproc)") \
            >"$log" 2>&1; then
        cat "$log"
        echo "Building ($preset) failed." >&2
        return 1
    fi
}

lg_install_packages
