#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the product's sources
# with a build tree's compile commands; fails, with the findings, on any.
#   scripts/check-tidy.sh [BUILD_DIR]   (default: build-sanitize)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-sanitize}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
git ls-files 'platform/*.cpp' 'model/*.cpp' 'capture/*.cpp' 'ui/*.cpp' 'app/*.cpp' 'tools/*.cpp' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>/dev/null || true
if grep -q "warning:\|error:" "$log"; then
    echo "clang-tidy found:" >&2
    grep -A3 "warning:\|error:" "$log" >&2
    exit 1
fi
