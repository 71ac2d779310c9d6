#!/usr/bin/env bash
# lmgrab --capture as a whole process beside ImageMagick's import and scrot,
# each writing the same full-screen JPEG (quality 75) of a screen of its
# own, timed side by side by hyperfine and paired: once with no capture
# tool running (lmgrab captures by itself) and once asking the running tool.
#   bench/compare-capture-tools.sh [BUILD_DIR]   (default: build)
#   SIZES="1920x1080 3840x2160" RUNS=30
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(cd "${1:-$root/build}" && pwd)/bin"
work="$(mktemp -d)"
trap 'kill "${tool:-}" "${xpid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
export LUMAGRABBER_REGISTRY="$work/registry.db" XDG_RUNTIME_DIR="$work" XDG_PICTURES_DIR="$work/shots"
mkdir -p "$work/shots"
chmod 700 "$work"
printf '[Software\\Orvane\\Lmgrab]\r\nCount=1\r\n[Software\\Orvane\\Lmgrab\\Action1]\r\nName=Screen\r\nModifiers=2\r\nVirtualKey=116\r\nSaveTo=1\r\nGrabMethod=0\r\nExtension=.jpg\r\nQuality=75\r\nPixelFormat=6\r\n' \
    > "$work/screen.lgp"
"$bin/lgprofile" load "$work/screen.lgp"

# Paired: each round times one run of each, in turn, so that the machine's
# moods fall on both alike; the median of the per-round ratios.
paired() {
    local label=$1 rounds=${RUNS:-30} ratios=()
    for ((i = 0; i < rounds; i++)); do
        rm -f "$work"/shots/*
        local a b c
        a=$(date +%s%N); "$bin/lmgrab" --capture 1 >/dev/null
        b=$(date +%s%N); scrot -o -q 75 "$work/shots/scrot.jpg"
        c=$(date +%s%N)
        ratios+=("$(( (b - a) * 1000 / (c - b) ))")
    done
    printf '%s\n' "${ratios[@]}" | sort -n | awk -v l="$label" '{r[NR]=$1} END {printf "paired median lmgrab/scrot, %s: %.3f over %d rounds\n", l, r[int((NR+1)/2)]/1000, NR}'
}

for size in ${SIZES:-1920x1080 3840x2160}; do
    exec 3<> "$work/displayfd"
    : > "$work/displayfd"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    xpid=$!
    until [ -s "$work/displayfd" ]; do sleep 0.05; done
    export DISPLAY=":$(head -n1 "$work/displayfd")"
    # Something to compress, shown on the root window.
    convert -size "$size" plasma:fractal -seed 7 "$work/background.png"
    display -window root "$work/background.png" || true  # sets the background, yet exits 1

    echo "== $size, no capture tool running"
    hyperfine --warmup 3 --runs "${RUNS:-30}" --prepare "rm -f '$work'/shots/*" \
        -n "lmgrab --capture" "'$bin/lmgrab' --capture 1" \
        -n "import -window root" "import -window root -quality 75 '$work/shots/import.jpg'" \
        -n "scrot" "scrot -o -q 75 '$work/shots/scrot.jpg'"
    paired "$size, by itself"

    echo "== $size, asking the running capture tool"
    QT_QPA_PLATFORM=xcb "$bin/lmgrab" 2>/dev/null &
    tool=$!
    until [ -S "$work/lumagrabber/lmgrab.socket" ]; do sleep 0.05; done
    sleep 0.5  # its first read of the store
    hyperfine --warmup 3 --runs "${RUNS:-30}" --prepare "rm -f '$work'/shots/*" \
        -n "lmgrab --capture (tool runs)" "'$bin/lmgrab' --capture 1" \
        -n "scrot" "scrot -o -q 75 '$work/shots/scrot.jpg'"
    paired "$size, asking the tool"
    kill "$tool" "$xpid"; wait "$tool" "$xpid" 2>/dev/null || true
    tool= xpid=
done
