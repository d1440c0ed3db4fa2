#!/usr/bin/env bash
# Checks that the export list, the public header and a built library agree.
# Usage: check-exports.sh LIBRARY   (liborvimapi.so or OrviMapi.dll)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
library=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

grep -vE '^\s*(#|$)' "$root/src/OrviMapi.exports" | tr -d ' \t' | sort > "$tmp/list"
grep -oE '^ORVIMAPI_EXTERN\([^)]*\)\s*[A-Za-z0-9_]+' "$root/include/OrviMapi.h" \
    | sed -E 's/.*\)\s*//' | sort > "$tmp/header"

case "$library" in
*.dll)
    objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
    # The export table's name list: lines "[ordinal] name" after "[Ordinal/Name Pointer] Table".
    "$objdump" -p "$library" \
        | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/ s/^\s*\[\s*[0-9]*\]\s*//p' \
        | sort > "$tmp/binary"
    ;;
*)
    nm -D --defined-only "$library" | awk '$2 ~ /^[TW]$/ {print $3}' | sed 's/@.*//' | sort > "$tmp/binary"
    ;;
esac

status=0
if ! diff -u "$tmp/list" "$tmp/header" > "$tmp/d1"; then
    echo "export list and header differ:"; cat "$tmp/d1"; status=1
fi
if ! diff -u "$tmp/list" "$tmp/binary" > "$tmp/d2"; then
    echo "export list and $library differ:"; cat "$tmp/d2"; status=1
fi
[ "$status" -eq 0 ] && echo "exports: $(wc -l < "$tmp/list") names agree in list, header and $(basename "$library")"
exit "$status"
