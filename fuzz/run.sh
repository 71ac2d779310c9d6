#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and runs each for a bounded
# time (LG_FUZZ_SECONDS, default 60). Fails on any crash, hang or sanitizer report.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build/fuzz"
mkdir -p "$out"
seconds="${LG_FUZZ_SECONDS:-60}"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$root")

build() {
    local name=$1; shift
    if ! clang++-14 "${flags[@]}" "$@" -o "$out/$name" -lsqlite3 >"$out/$name.log" 2>&1; then
        cat "$out/$name.log"; return 1
    fi
}
build profile_fuzz "$root/fuzz/ProfileFuzz.cpp" "$root/model/FileActionStorage.cpp" \
    "$root/model/ActionStorage.cpp" "$root/model/ActionKeys.cpp" "$root/model/RegActionStorage.cpp" \
    "$root/platform/RegistryAccessor.cpp" "$root/platform/SqliteRegistry.cpp" \
    "$root/platform/ThreadHotKeys.cpp" "$root/platform/ProfileFile.cpp" "$root/platform/SafeFile.cpp" "$root/platform/Unicode.cpp" \
    "$root/platform/Registry.cpp"
build regfile_fuzz "$root/fuzz/RegFileFuzz.cpp" "$root/tools/lgreg/RegFile.cpp" \
    "$root/platform/Unicode.cpp" "$root/platform/Registry.cpp" "$root/platform/SqliteRegistry.cpp"

for target in profile_fuzz regfile_fuzz; do
    mkdir -p "$out/$target.corpus"
    if ! (cd "$out" && "./$target" "$target.corpus" -max_total_time="$seconds" -timeout=10 \
            -rss_limit_mb=2048 -max_len=65536 >"$target.run.log" 2>&1); then
        tail -n 60 "$out/$target.run.log"
        echo "fuzzing $target failed" >&2
        exit 1
    fi
    echo "fuzz: $target ran ${seconds}s with no crash"
done
