#!/usr/bin/env bash
# Formats every C and C++ file of the project with the repository's .clang-format.
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; list the files that need formatting and fail
# Tables that read better by hand (column sets, their enums) sit between
# "// clang-format off" and "// clang-format on"; the platform mirrors in
# mapisim/decl/ and the public header keep their own layout (their .clang-format).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format: clang-format is not installed" >&2; exit 2; }
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    unformatted=()
    for file in "${files[@]}"; do
        if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then unformatted+=("$file"); fi
    done
    if [ ${#unformatted[@]} -ne 0 ]; then
        printf 'format: not formatted (run scripts/format.sh): %s\n' "${unformatted[@]}" >&2
        exit 1
    fi
    echo "format: ${#files[@]} files formatted"
else
    clang-format -i "${files[@]}"
fi
