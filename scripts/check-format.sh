#!/usr/bin/env bash
# Fails, naming the files, when a C++ file of the tree is not as
# .clang-format lays it out. Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=()
while IFS= read -r file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | grep -v '^./build')
if [ ${#unformatted[@]} -ne 0 ]; then
    echo "Not formatted as .clang-format says (clang-format -i fixes them):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
