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
    clang-14 libclang-rt-14-dev
    xvfb xdotool x11-utils
)

lg_install_packages() {
    local missing=()
    local pkg
    for pkg in "${LG_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq >/dev/null
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

lg_build() {
    local log="$LG_BUILD/build.log"
    mkdir -p "$LG_BUILD"
    if [ ! -f "$LG_BUILD/CMakeCache.txt" ]; then
        if ! cmake -S "$LG_ROOT" -B "$LG_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1; then
            cat "$log"
            echo "Configuring failed." >&2
            return 1
        fi
    fi
    if ! cmake --build "$LG_BUILD" -j "$(nproc)" >"$log" 2>&1; then
        cat "$log"
        echo "Building failed." >&2
        return 1
    fi
}

lg_install_packages
lg_build
